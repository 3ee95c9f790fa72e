// Loads the terminal library at run time and finds the functions the terminal front end uses.
#include "platform/termcurses.h"

#include <dlfcn.h>

#include <mutex>
#include <type_traits>

namespace kownd {

const Curses* loadCurses(const char** reason) {
    static std::once_flag once;
    static Curses table;
    static const Curses* loaded = nullptr;
    static const char* why = nullptr;
    std::call_once(once, [] {
        void* lib = dlopen("libncursesw.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            why = "libncursesw.so.6 cannot be loaded";
            return;
        }
        bool complete = true;
        auto find = [&](auto& slot, const char* name) {
            void* p = dlsym(lib, name);
            if (!p) complete = false;
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(p);
        };
        find(table.newterm, "newterm");
        find(table.set_term, "set_term");
        find(table.endwin, "endwin");
        find(table.delscreen, "delscreen");
        find(table.raw, "raw");
        find(table.noecho, "noecho");
        find(table.nonl, "nonl");
        find(table.keypad, "keypad");
        find(table.nodelay, "nodelay");
        find(table.curs_set, "curs_set");
        find(table.wgetch, "wgetch");
        find(table.werase, "werase");
        find(table.wmove, "wmove");
        find(table.waddnstr, "waddnstr");
        find(table.wattrset, "wattrset");
        find(table.wrefresh, "wrefresh");
        find(table.getmaxy, "getmaxy");
        find(table.getmaxx, "getmaxx");
        find(table.set_escdelay, "set_escdelay");
        find(table.define_key, "define_key");
        find(table.mousemask, "mousemask");
        find(table.getmouse, "getmouse");
        find(table.mouseinterval, "mouseinterval");
        find(table.stdscr, "stdscr");
        if (!complete) {
            // The library stays loaded: unloading a library that may have run code is not safe.
            why = "libncursesw.so.6 lacks a function the terminal front end needs";
            return;
        }
        loaded = &table;
    });
    if (!loaded && reason) *reason = why;
    return loaded;
}

} // namespace kownd
