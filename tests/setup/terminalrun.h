#pragma once
// A program run in a private tmux server as a person runs it at a terminal: keys go in with
// send-keys, the screen comes back with capture-pane.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "tests/support/support.h"

namespace kotest {

// The text quoted for sh.
inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
            out.append(buffer, n);
        pclose(p);
    }
    return out;
}

inline bool tmuxInstalled() {
    return std::system("command -v tmux >/dev/null 2>&1") == 0;
}

// An in-memory dialog template, as a program without resources builds one.
struct DialogTemplate {
    alignas(4) std::vector<WORD> words;
    DialogTemplate(const char* caption, DWORD style, short cx, short cy, WORD count) {
        DLGTEMPLATE t{style, 0, count, 0, 0, cx, cy};
        push(&t, sizeof t);
        words.insert(words.end(), {0, 0});
        text(caption);
    }
    void push(const void* p, size_t n) {
        const WORD* w = static_cast<const WORD*>(p);
        words.insert(words.end(), w, w + n / 2);
    }
    void text(const char* s) {
        for (; *s; ++s)
            words.push_back(static_cast<unsigned char>(*s));
        words.push_back(0);
    }
    void item(DWORD style, WORD id, WORD atom, short x, short y, short cx, const char* title) {
        if (words.size() % 2) words.push_back(0);
        DLGITEMTEMPLATE i{WS_CHILD | WS_VISIBLE | style, 0, x, y, cx, 10, id};
        push(&i, sizeof i);
        words.insert(words.end(), {0xFFFF, atom});
        text(title);
        words.push_back(0);
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words.data()); }
};

class TmuxTerminal {
public:
    // Runs command (with env, each "NAME=value") in an 80 by 24 terminal. When it ends, the pane
    // shows "EXIT=status" and whether the terminal's line discipline is back ("icanon" or "-icanon").
    TmuxTerminal(const std::string& dir, const std::vector<std::string>& env,
                 const std::vector<std::string>& command, int cols = 80, int rows = 24)
        : socket_(dir + "/tmux" + std::to_string(++serial()) + ".sock") {
        std::string inner = "env -u KO_UI -u KO_UI_SCRIPT -u KO_UI_TRANSCRIPT";
        for (const std::string& e : env)
            inner += " " + shellQuote(e);
        for (const std::string& a : command)
            inner += " " + shellQuote(a);
        inner += "; echo EXIT=$?; stty -a | grep -o -- '-\\?icanon'; exec sleep 600";
        std::string cmd = "tmux -u -S " + shellQuote(socket_) + " -f /dev/null new-session -d -x " +
                          std::to_string(cols) + " -y " + std::to_string(rows) + " " + shellQuote(inner);
        started_ = std::system(cmd.c_str()) == 0;
    }
    ~TmuxTerminal() { tmux("kill-server"); }
    bool started() const { return started_; }

    std::string tmux(const std::string& args) const {
        return commandOutput("tmux -S " + shellQuote(socket_) + " " + args + " 2>&1");
    }
    // Keys by tmux's names ("Tab", "Enter", "C-NPage", "M-2"), one argument each.
    void keys(const std::vector<std::string>& names) const {
        for (const std::string& k : names) {
            tmux("send-keys " + shellQuote(k));
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    }
    void type(const std::string& text) const {
        tmux("send-keys -l " + shellQuote(text));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    std::string screen() const { return tmux("capture-pane -p"); }
    // Waits until the screen shows text; false after timeoutMs.
    bool waitFor(const std::string& text, int timeoutMs = 5000) const {
        for (int waited = 0; waited < timeoutMs; waited += 50) {
            if (screen().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // The line of the screen that holds text, "" when none does.
    std::string lineWith(const std::string& text) const {
        std::string s = screen();
        size_t at = s.find(text);
        if (at == std::string::npos) return "";
        size_t start = s.rfind('\n', at);
        start = start == std::string::npos ? 0 : start + 1;
        return s.substr(start, s.find('\n', at) - start);
    }
    // A click of the first button on the cell where text begins, as an xterm reports it (press,
    // release); false when the screen does not show text.
    bool click(const std::string& text) const {
        std::string s = screen();
        size_t at = s.find(text);
        if (at == std::string::npos) return false;
        size_t lineStart = s.rfind('\n', at);
        int col = static_cast<int>(at - (lineStart == std::string::npos ? 0 : lineStart + 1));
        int row = static_cast<int>(std::count(s.begin(), s.begin() + static_cast<long>(at), '\n'));
        std::string cell{static_cast<char>(33 + col), static_cast<char>(33 + row)};
        type("\033[M " + cell);
        type("\033[M#" + cell);
        return true;
    }
    // The cursor as "column,row".
    std::string cursor() const {
        std::string c = tmux("display -p '#{cursor_x},#{cursor_y}'");
        while (!c.empty() && c.back() == '\n')
            c.pop_back();
        return c;
    }

private:
    static int& serial() {
        static int n = 0;
        return n;
    }
    std::string socket_;
    bool started_ = false;
};

} // namespace kotest
