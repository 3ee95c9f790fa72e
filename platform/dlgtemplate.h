#pragma once
// Dialog templates and icons as the resource library stores them: plain tables read through its
// exported accessors koResourceDialog and koResourceIcon. Kept free of other headers so the resource
// library can include it alone.
#include <cstdint>

// One control of a dialog template; coordinates in dialog units.
struct KoDialogItem {
    const char* className; // "BUTTON", "EDIT", "COMBOBOX", "STATIC"
    const char* text;      // for an icon control ("STATIC" with style 3) the icon's "#id"
    uint16_t id;
    uint32_t style; // WS_CHILD is implied
    int16_t x, y, cx, cy;
};

struct KoDialogResource {
    uint16_t id;
    const char* caption;
    uint32_t style;
    int16_t x, y, cx, cy;
    const KoDialogItem* items;
    uint16_t count;
};

// An icon: a name and a 32 by 32 picture of one character per pixel, row by row.
struct KoIconResource {
    uint16_t id;
    const char* name;
    const char* pixels;
};

typedef const KoDialogResource* (*KoResourceDialogAccessor)(unsigned id);
typedef const KoIconResource* (*KoResourceIconAccessor)(unsigned id);
