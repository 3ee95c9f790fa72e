// The script front end's input and output: choosing the front end, parsing script lines, the queue
// of actions, and the transcript.
#include "platform/frontend.h"
#include "platform/system.h"
#include "platform/termui.h"
#include "platform/window.h"
#include "platform/wndinternal.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>

using namespace kownd;

namespace {

struct ScriptState {
    std::mutex lock;
    bool chosen = false; // a program chose the front end; KO_UI is not read then
    KoFrontEnd frontEnd = koFrontEndNone;
    std::deque<Action> queue;
    std::vector<KoShownBox> boxes;
    std::vector<std::string> lines;
    // The script file last read: its name and identity, so a changed file is read again.
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    struct timespec modified {};
};

ScriptState& state() {
    static ScriptState* s = new ScriptState;
    return *s;
}

// Without a program's choice KO_UI is read at every use, so a long-lived process (a driver manager
// that keeps the module loaded) follows the environment of each request.
void chooseLocked(ScriptState& s) {
    if (s.chosen) return;
    std::string ui;
    bool set = koGetEnvironment("KO_UI", &ui) && !ui.empty();
    if (set && ui == "script")
        s.frontEnd = koFrontEndScript;
    else if ((!set || ui == "terminal") && terminalUsable())
        s.frontEnd = koFrontEndTerminal;
    else
        s.frontEnd = koFrontEndNone;
}

bool isWordChar(char c) {
    return c && c != ' ' && c != '\t';
}

bool parseNumber(const std::string& s, long* out) {
    if (s.empty()) return false;
    char* end;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end || errno) return false;
    *out = v;
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

namespace kownd {

bool unescapeText(const std::string& in, std::string* out) {
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (++i >= in.size()) return false;
        switch (in[i]) {
        case '\\':
            out->push_back('\\');
            break;
        case 't':
            out->push_back('\t');
            break;
        case 'n':
            out->push_back('\n');
            break;
        case 'r':
            out->push_back('\r');
            break;
        case '"':
            out->push_back('"');
            break;
        case 'x': {
            int hi = i + 1 < in.size() ? hexValue(in[i + 1]) : -1;
            int lo = i + 2 < in.size() ? hexValue(in[i + 2]) : -1;
            if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false; // a NUL would end the text
            out->push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

std::string quoteText(const std::string& text) {
    std::string q = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '\\':
            q += "\\\\";
            break;
        case '"':
            q += "\\\"";
            break;
        case '\t':
            q += "\\t";
            break;
        case '\n':
            q += "\\n";
            break;
        case '\r':
            q += "\\r";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                q += hex;
            } else {
                q.push_back(static_cast<char>(c));
            }
        }
    }
    return q + "\"";
}

bool parseAction(const std::string& input, Action* a, std::string* reason) {
    std::string line = input;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    a->raw = line;
    a->verb.clear();
    size_t p = 0;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
        ++p;
    if (p == line.size() || line[p] == '#') return true;
    size_t e = p;
    while (isWordChar(line[e]))
        ++e;
    std::string verb = line.substr(p, e - p);
    // The rest: the first word (an ID or number) and, for texts, everything after one blank.
    size_t q = e;
    while (q < line.size() && (line[q] == ' ' || line[q] == '\t'))
        ++q;
    size_t r = q;
    while (r < line.size() && isWordChar(line[r]))
        ++r;
    std::string word = line.substr(q, r - q);
    std::string rest = r < line.size() ? line.substr(r + 1) : "";
    bool wantsId = verb == "type" || verb == "click" || verb == "check" || verb == "uncheck" ||
                   verb == "select" || verb == "page" || verb == "drawings" || verb == "sleep";
    if (wantsId) {
        if (!parseNumber(word, &a->number) || a->number < 0 || a->number > 0xFFFF * 16) {
            *reason = word.empty() ? verb + " needs a number" : "not a number: " + word;
            return false;
        }
        if (verb == "type" || verb == "select") {
            if (!unescapeText(rest, &a->text)) {
                *reason = "malformed escape in the text";
                return false;
            }
        } else if (r < line.size() && line.find_first_not_of(" \t", r) != std::string::npos) {
            *reason = verb + " takes no text";
            return false;
        }
    } else if (verb == "answer") {
        static const char* names[] = {"ok", "cancel", "abort", "retry", "ignore", "yes", "no"};
        a->number = 0;
        for (int i = 0; i < 7; ++i)
            if (word == names[i]) a->number = i + 1;
        if (!a->number) {
            *reason = word.empty() ? "answer needs a button" : "unknown button: " + word;
            return false;
        }
    } else if (verb == "file") {
        std::string path = line.substr(q);
        if (!unescapeText(path, &a->text) || a->text.empty()) {
            *reason = path.empty() ? "file needs a path" : "malformed escape in the path";
            return false;
        }
    } else if (verb == "file-cancel" || verb == "dump" || verb == "help") {
        if (!word.empty()) {
            *reason = verb + " takes no argument";
            return false;
        }
    } else {
        *reason = "unknown action: " + verb;
        return false;
    }
    a->verb = verb;
    return true;
}

bool scriptActive() {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    chooseLocked(s);
    return s.frontEnd == koFrontEndScript;
}

bool terminalActive() {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    chooseLocked(s);
    return s.frontEnd == koFrontEndTerminal;
}

void refreshScript() {
    ScriptState& s = state();
    std::string path;
    if (!scriptActive() || !koGetEnvironment("KO_UI_SCRIPT", &path) || path.empty()) return;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        std::lock_guard<std::mutex> g(s.lock);
        if (s.path == path && s.size == -1) return;
        s.path = path;
        s.size = -1;
        s.queue.clear();
    } else {
        std::lock_guard<std::mutex> g(s.lock);
        if (s.path == path && s.device == st.st_dev && s.inode == st.st_ino && s.size == st.st_size &&
            s.modified.tv_sec == st.st_mtim.tv_sec && s.modified.tv_nsec == st.st_mtim.tv_nsec)
            return;
        s.path = path;
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
        s.modified = st.st_mtim;
        s.queue.clear();
    }
    std::ifstream in(path);
    if (!in) {
        transcript("refused line=0 text=" + quoteText(path) + " reason=\"the script cannot be read\"");
        return;
    }
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
        Action a;
        std::string reason;
        if (!parseAction(text, &a, &reason)) {
            a.line = n;
            refuse(a, reason);
            continue;
        }
        if (a.verb.empty()) continue;
        a.line = n;
        std::lock_guard<std::mutex> g(s.lock);
        s.queue.push_back(a);
    }
}

bool peekAction(Action* out) {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.queue.empty()) return false;
    *out = s.queue.front();
    return true;
}

bool takeAction(Action* out) {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.queue.empty()) return false;
    *out = s.queue.front();
    s.queue.pop_front();
    return true;
}

void transcript(const std::string& line) {
    ScriptState& s = state();
    std::string path;
    std::lock_guard<std::mutex> g(s.lock);
    try {
        s.lines.push_back(line);
    } catch (...) {
    }
    if (koGetEnvironment("KO_UI_TRANSCRIPT", &path) && !path.empty()) {
        // Opened for every line, so each line is on disk before the program goes on.
        FILE* f = std::fopen(path.c_str(), "a");
        if (f) {
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }
}

void refuse(const Action& a, const std::string& reason) {
    transcript("refused line=" + std::to_string(a.line) + " text=" + quoteText(a.raw) +
               " reason=" + quoteText(reason));
}

void recordBox(const KoShownBox& box) {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    try {
        s.boxes.push_back(box);
    } catch (...) {
    }
}

} // namespace kownd

void koSetFrontEnd(KoFrontEnd frontEnd) {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.chosen = true;
    s.frontEnd = frontEnd;
}

KoFrontEnd koGetFrontEnd() {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    chooseLocked(s);
    return s.frontEnd;
}

void koScriptAnswer(int button) {
    Action a;
    a.verb = "answer";
    a.number = button;
    a.raw = "answer " + std::to_string(button);
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.queue.push_back(a);
}

bool koScriptPush(const char* line) {
    Action a;
    std::string reason;
    if (!line || !parseAction(line, &a, &reason)) {
        refuse(a, line ? reason : "no line");
        return false;
    }
    if (a.verb.empty()) return true;
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.queue.push_back(a);
    return true;
}

std::vector<KoShownBox> koScriptTakeShownBoxes() {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    std::vector<KoShownBox> boxes;
    boxes.swap(s.boxes);
    return boxes;
}

std::vector<std::string> koScriptTakeTranscript() {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    std::vector<std::string> lines;
    lines.swap(s.lines);
    return lines;
}

void koScriptReset() {
    ScriptState& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.queue.clear();
    s.boxes.clear();
    s.lines.clear();
    s.path.clear();
    s.size = -1;
}
