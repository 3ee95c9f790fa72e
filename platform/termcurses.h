#pragma once
// The terminal library, loaded when a terminal dialog first runs so that a process without a
// terminal never needs it. Internal to the layer.
#include <cstdint>

namespace kownd {

// Key codes the library returns, with its values (its header is not included: its macros would
// collide with ordinary names).
enum : int {
    keyDown = 0402,
    keyUp = 0403,
    keyLeft = 0404,
    keyRight = 0405,
    keyHome = 0406,
    keyBackspace = 0407,
    keyF1 = 0411,
    keyF4 = 0414,
    keyDelete = 0512,
    keyPageDown = 0522,
    keyPageUp = 0523,
    keyEnter = 0527,
    keyBackTab = 0541,
    keyEnd = 0550,
    keyMouse = 0631,
    keyResize = 0632,
    // Codes this layer gives to sequences the terminal description may lack.
    keyCtrlPageDown = 01001,
    keyCtrlPageUp = 01002,
    keyAltDown = 01003,
};

// Attributes, with the library's values.
constexpr unsigned attrNormal = 0, attrUnderline = 1u << 17, attrReverse = 1u << 18, attrDim = 1u << 20,
                   attrBold = 1u << 21;

struct MouseEvent {
    short id;
    int x, y, z;
    uint32_t buttons;
};
constexpr uint32_t mouseButton1Released = 01, mouseButton1Pressed = 02, mouseButton1Clicked = 04,
                   mouseAllEvents = 07777777;

struct Curses {
    void* (*newterm)(const char*, void*, void*);
    void* (*set_term)(void*);
    int (*endwin)();
    void (*delscreen)(void*);
    int (*raw)();
    int (*noecho)();
    int (*nonl)();
    int (*keypad)(void*, bool);
    int (*nodelay)(void*, bool);
    int (*curs_set)(int);
    int (*wgetch)(void*);
    int (*werase)(void*);
    int (*wmove)(void*, int, int);
    int (*waddnstr)(void*, const char*, int);
    int (*wattrset)(void*, int);
    int (*wrefresh)(void*);
    int (*getmaxy)(const void*);
    int (*getmaxx)(const void*);
    int (*set_escdelay)(int);
    int (*define_key)(const char*, int);
    uint32_t (*mousemask)(uint32_t, uint32_t*);
    int (*getmouse)(MouseEvent*);
    int (*mouseinterval)(int);
    void** stdscr;
};

// The loaded library, or null (with the reason) when it cannot be loaded.
const Curses* loadCurses(const char** reason);

} // namespace kownd
