// The terminal front end's screen: taking and giving back the terminal, drawing cells, reading keys
// and the mouse, and leaving cleanly on Ctrl-C or a lost terminal.
#include "platform/codepage.h"
#include "platform/system.h"
#include "platform/termui.h"

#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Screen {
    const kownd::Curses* c = nullptr;
    void* screen = nullptr;
    void* win = nullptr;
    int depth = 0;
    std::string savedLocale;
    struct sigaction savedHup {
    }, savedTerm{}, savedPipe{};
    std::vector<std::function<void()>> layers;
    bool utf8 = false; // the terminal's characters are UTF-8: window texts (ANSI) are converted
};

Screen& S() {
    static Screen* s = new Screen;
    return *s;
}

volatile sig_atomic_t pendingSignal = 0;

// Window texts are in the process's ANSI code page; a UTF-8 terminal shows them converted.
std::string toScreen(const std::string& ansi) {
    if (!S().utf8 || ansi.empty()) return ansi;
    int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (units <= 0) return ansi;
    std::vector<WCHAR> wide(static_cast<size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return ansi;
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

// A character typed at a UTF-8 terminal in the ANSI code page; "" when the code page lacks it (it
// would be stored as something else).
std::string fromKeys(const std::string& utf8) {
    WCHAR wide[4];
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                    wide, 4);
    if (units <= 0) return "";
    char ansi[8];
    BOOL lossy = FALSE;
    int bytes =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, ansi, sizeof ansi, nullptr, &lossy);
    if (bytes <= 0 || lossy) return "";
    return std::string(ansi, static_cast<size_t>(bytes));
}

void onSignal(int sig) {
    pendingSignal = sig;
}

void giveBack() {
    Screen& s = S();
    if (!s.screen) return;
    s.c->mousemask(0, nullptr);
    s.c->curs_set(1);
    s.c->endwin();
    s.c->delscreen(s.screen);
    s.screen = nullptr;
    s.win = nullptr;
    sigaction(SIGHUP, &s.savedHup, nullptr);
    sigaction(SIGTERM, &s.savedTerm, nullptr);
    sigaction(SIGPIPE, &s.savedPipe, nullptr);
    if (!s.savedLocale.empty()) std::setlocale(LC_CTYPE, s.savedLocale.c_str());
    std::fflush(stdout);
}

// A program that exits while a dialog runs still gets its terminal back.
void atExit() {
    giveBack();
}

} // namespace

namespace kownd {

bool terminalUsable() {
    std::string term;
    return isatty(0) && isatty(1) && koGetEnvironment("TERM", &term) && !term.empty() && term != "dumb";
}

bool terminalReady() {
    return loadCurses(nullptr) != nullptr;
}

bool screenBegin() {
    Screen& s = S();
    if (s.depth++ > 0) return true;
    const char* reason = nullptr;
    s.c = loadCurses(&reason);
    if (!s.c) {
        --s.depth;
        return false;
    }
    const char* locale = std::setlocale(LC_CTYPE, nullptr);
    s.savedLocale = locale ? locale : "";
    if (s.savedLocale == "C" || s.savedLocale == "POSIX") std::setlocale(LC_CTYPE, "");
    std::fflush(stdout);
    s.screen = s.c->newterm(nullptr, stdout, stdin);
    if (!s.screen) {
        if (!s.savedLocale.empty()) std::setlocale(LC_CTYPE, s.savedLocale.c_str());
        --s.depth;
        return false;
    }
    const char* codeset = nl_langinfo(CODESET);
    s.utf8 = codeset && std::strcmp(codeset, "UTF-8") == 0;
    static bool registered = false;
    if (!registered) registered = std::atexit(atExit) == 0;
    s.c->set_term(s.screen);
    s.win = *s.c->stdscr;
    // Raw: Ctrl-C arrives as a key, so the terminal is restored before the program ends.
    s.c->raw();
    s.c->noecho();
    s.c->nonl();
    s.c->keypad(s.win, true);
    s.c->nodelay(s.win, true);
    s.c->set_escdelay(40);
    // The sequences of the usual terminals and multiplexers, whatever TERM's description lists (a
    // TERM that does not match the terminal would otherwise turn Home into typed text).
    static const struct {
        const char* sequence;
        int key;
    } sequences[] = {
        {"\033[6;5~", keyCtrlPageDown},
        {"\033[5;5~", keyCtrlPageUp},
        {"\033[1;3B", keyAltDown},
        {"\033[1~", keyHome},
        {"\033[7~", keyHome},
        {"\033[H", keyHome},
        {"\033OH", keyHome},
        {"\033[4~", keyEnd},
        {"\033[8~", keyEnd},
        {"\033[F", keyEnd},
        {"\033OF", keyEnd},
        {"\033[3~", keyDelete},
        {"\033[5~", keyPageUp},
        {"\033[6~", keyPageDown},
        {"\033[Z", keyBackTab},
        {"\033[A", keyUp},
        {"\033[B", keyDown},
        {"\033[C", keyRight},
        {"\033[D", keyLeft},
        {"\033OA", keyUp},
        {"\033OB", keyDown},
        {"\033OC", keyRight},
        {"\033OD", keyLeft},
        {"\033OP", keyF1},
        {"\033[11~", keyF1},
        {"\033OS", keyF4},
        {"\033[14~", keyF4},
    };
    for (const auto& q : sequences)
        s.c->define_key(q.sequence, q.key);
    s.c->mouseinterval(0);
    s.c->mousemask(mouseButton1Pressed | mouseButton1Released | mouseButton1Clicked, nullptr);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    pendingSignal = 0;
    sigaction(SIGHUP, &sa, &s.savedHup);
    sigaction(SIGTERM, &sa, &s.savedTerm);
    // A lost terminal makes writes fail: the failure is seen as a lost terminal, not a crash.
    sigaction(SIGPIPE, &sa, &s.savedPipe);
    return true;
}

void screenEnd() {
    Screen& s = S();
    if (s.depth == 0 || --s.depth > 0) return;
    giveBack();
    // A hang-up or termination that came as the last dialog ended still reaches the program.
    if (pendingSignal) raise(pendingSignal);
}

bool screenActive() {
    return S().depth > 0;
}

int screenRows() {
    Screen& s = S();
    return s.win ? s.c->getmaxy(s.win) : 24;
}

int screenCols() {
    Screen& s = S();
    return s.win ? s.c->getmaxx(s.win) : 80;
}

void screenPut(int row, int col, const std::string& text, unsigned attr, int maxWidth) {
    Screen& s = S();
    if (!s.win || row < 0 || row >= screenRows()) return;
    int cols = screenCols();
    std::string t = text;
    if (maxWidth >= 0 && static_cast<int>(t.size()) > maxWidth) t.resize(static_cast<size_t>(maxWidth));
    if (col < 0) {
        if (static_cast<int>(t.size()) <= -col) return;
        t = t.substr(static_cast<size_t>(-col));
        col = 0;
    }
    if (col >= cols) return;
    if (static_cast<int>(t.size()) > cols - col) t.resize(static_cast<size_t>(cols - col));
    // A two-byte character cut in half is dropped whole.
    for (size_t i = 0; i < t.size(); ++i)
        if (IsDBCSLeadByte(static_cast<BYTE>(t[i])) && ++i >= t.size()) t.pop_back();
    // Control characters would move the library's cursor: they are shown as blanks.
    for (char& ch : t)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
    t = toScreen(t);
    s.c->wattrset(s.win, static_cast<int>(attr));
    s.c->wmove(s.win, row, col);
    s.c->waddnstr(s.win, t.c_str(), static_cast<int>(t.size()));
    s.c->wattrset(s.win, 0);
}

void screenFill(int row, int col, int height, int width, unsigned attr) {
    if (width <= 0) return;
    std::string blank(static_cast<size_t>(width), ' ');
    for (int r = 0; r < height; ++r)
        screenPut(row + r, col, blank, attr);
}

void screenBox(int row, int col, int height, int width, const std::string& title, unsigned attr) {
    if (width < 2 || height < 2) return;
    screenFill(row, col, height, width, attr);
    std::string edge = "+" + std::string(static_cast<size_t>(width - 2), '-') + "+";
    screenPut(row, col, edge, attr);
    screenPut(row + height - 1, col, edge, attr);
    for (int r = 1; r < height - 1; ++r) {
        screenPut(row + r, col, "|", attr);
        screenPut(row + r, col + width - 1, "|", attr);
    }
    if (!title.empty()) screenPut(row, col + 2, " " + title + " ", attr | attrBold, width - 4);
}

void screenShow(int row, int col) {
    Screen& s = S();
    if (!s.win) return;
    if (row >= 0) {
        s.c->curs_set(1);
        s.c->wmove(s.win, row, col);
    } else {
        s.c->curs_set(0);
    }
    s.c->wrefresh(s.win);
}

Input screenRead(int timeoutMs) {
    Screen& s = S();
    Input in;
    if (pendingSignal) {
        in.kind = Input::lost;
        in.code = pendingSignal;
        return in;
    }
    pollfd p{0, POLLIN, 0};
    int n = poll(&p, 1, timeoutMs);
    // Readable with nothing to read is the end of input, as a terminal gives when it goes away
    // (looked at before the library reads, so a sequence it swallows is not taken for it).
    int pending = 1;
    if (n > 0 && (p.revents & POLLIN) && ioctl(0, FIONREAD, &pending) != 0) pending = 1;
    if (pendingSignal || (n > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) || pending == 0) {
        in.kind = Input::lost;
        in.code = pendingSignal ? static_cast<int>(pendingSignal) : SIGHUP;
        return in;
    }
    int k = s.c->wgetch(s.win);
    if (k < 0) return in;
    in.kind = Input::key;
    if (k == 3) {
        in.kind = Input::interrupt;
        in.code = SIGINT;
        return in;
    }
    if (k == 27) {
        // Escape, or Alt with the next key.
        int next = s.c->wgetch(s.win);
        if (next >= 0) {
            in.alt = true;
            k = next;
        }
    }
    in.code = k;
    if (k >= 0x20 && k < 0x100 && k != 0x7F && !in.alt) {
        std::string typed(1, static_cast<char>(k));
        if (s.utf8 && k >= 0x80) {
            // The rest of the character's bytes arrive with its first.
            size_t length = k >= 0xF0 ? 4 : k >= 0xE0 ? 3 : k >= 0xC0 ? 2 : 1;
            while (typed.size() < length) {
                int next = s.c->wgetch(s.win);
                if (next < 0x80 || next > 0xBF) break;
                typed.push_back(static_cast<char>(next));
            }
            typed = fromKeys(typed);
            if (typed.empty()) in.kind = Input::tick; // not a character of the code page: ignored
        }
        in.text = typed;
    }
    if (k == keyMouse && s.c->getmouse(&in.mouse) != 0) in.kind = Input::tick;
    return in;
}

void screenAbandon(const Input& why) {
    S().depth = 0;
    giveBack();
    int sig = why.code ? why.code : SIGHUP;
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
    raise(sig);
    _exit(128 + sig);
}

void pushLayer(std::function<void()> draw) {
    S().layers.push_back(std::move(draw));
}

void popLayer() {
    if (!S().layers.empty()) S().layers.pop_back();
}

void drawLayers() {
    Screen& s = S();
    if (s.win) s.c->werase(s.win);
    for (size_t i = 0; i + 1 < s.layers.size(); ++i)
        s.layers[i]();
}

std::string stripMnemonic(const std::string& text, int* mnemonic) {
    std::string out;
    *mnemonic = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && *mnemonic < 0) *mnemonic = static_cast<int>(out.size());
        }
        out.push_back(text[i]);
    }
    return out;
}

std::vector<std::string> wrapText(const std::string& text, int width) {
    std::vector<std::string> lines;
    if (width <= 0) return lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!para.empty() && para.back() == '\r') para.pop_back();
        do {
            if (static_cast<int>(para.size()) <= width) {
                lines.push_back(para);
                break;
            }
            size_t cut = para.rfind(' ', static_cast<size_t>(width));
            if (cut == std::string::npos || cut == 0) cut = static_cast<size_t>(width);
            lines.push_back(para.substr(0, cut));
            para = para.substr(cut);
            if (!para.empty() && para[0] == ' ') para.erase(0, 1);
        } while (!para.empty());
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

} // namespace kownd
