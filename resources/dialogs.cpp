#include "resources/resources.h"

// Styles, with Windows' values (the resource library stays free of the platform's headers).
namespace {
constexpr uint32_t child = 0x40000000, visible = 0x10000000, disabled = 0x08000000, tabStop = 0x00010000,
                   group = 0x00020000, border = 0x00800000;
constexpr uint32_t label = child | visible;                          // STATIC, left aligned
constexpr uint32_t edit = child | visible | tabStop | border | 0x80; // ES_AUTOHSCROLL
constexpr uint32_t push = child | visible | tabStop;                 // BS_PUSHBUTTON
constexpr uint32_t checkBox = child | visible | tabStop | 0x3;       // BS_AUTOCHECKBOX
constexpr uint32_t radio = child | visible | 0x9;                    // BS_AUTORADIOBUTTON
constexpr uint32_t groupBox = child | visible | 0x7;                 // BS_GROUPBOX
constexpr uint32_t icon = child | visible | 0x3;                     // SS_ICON
constexpr uint32_t page = 0x40000000 | 0x80 | 0x40;                  // WS_CHILD, DS_MODALFRAME, DS_SETFONT
} // namespace

// The pages are 300 by 150 dialog units: with the sheet's buttons they fit a screen of 80 by 24
// character cells (a cell is 4 by 8 units), one control per row of 8 units.

static const KoDialogItem generalItems[] = {
    {"STATIC", "Data Source &Name:", 403, label, 8, 8, 80, 8},
    {"EDIT", "", 401, edit, 92, 8, 200, 10},
    {"STATIC", "&Description:", 0xFFFF, label, 8, 24, 80, 8},
    {"EDIT", "", 402, edit, 92, 24, 200, 10},
    {"STATIC", "Btrieve data files are set up on the Advanced page; the About page shows what is installed.",
     0xFFFF, label, 8, 48, 284, 16},
    {"BUTTON", "&Advanced...", 312, push, 92, 128, 64, 12},
    {"BUTTON", "A&bout...", 600, push, 164, 128, 64, 12},
};

static const KoDialogItem advancedItems[] = {
    {"STATIC", "Data&base directory:", 0xFFFF, label, 8, 8, 84, 8},
    {"EDIT", "", 300, edit, 96, 8, 196, 10},
    {"STATIC", "Data file e&xtension:", 0xFFFF, label, 8, 24, 84, 8},
    {"EDIT", "", 313, edit | group, 96, 24, 24, 10},
    {"BUTTON", "&Define...", 306, push, 132, 24, 56, 12},
    {"STATIC", "&Logon ID:", 0xFFFF, label, 8, 40, 84, 8},
    {"EDIT", "", 303, edit, 96, 40, 96, 10},
    {"STATIC", "File open &cache:", 0xFFFF, label, 8, 56, 84, 8},
    {"EDIT", "", 301, edit, 96, 56, 32, 10},
    {"STATIC", "A&rray size:", 0xFFFF, label, 148, 56, 52, 8},
    {"EDIT", "", 311, edit, 204, 56, 32, 10},
    {"BUTTON", "Undefined table", 0xFFFF, groupBox | group, 8, 72, 140, 28},
    {"BUTTON", "&Prompt", 304, radio | group | tabStop, 16, 84, 56, 8},
    {"BUTTON", "&Error", 305, radio, 80, 84, 56, 8},
    {"BUTTON", "&International sort", 307, checkBox | group, 156, 76, 136, 8},
    {"BUTTON", "Application uses t&hreads", 314, checkBox, 156, 88, 136, 8},
    {"BUTTON", "Use long &qualifiers", 315, checkBox, 156, 100, 136, 8},
    {"BUTTON", "&Translator...", 310, push, 8, 128, 64, 12},
};

static const KoDialogItem aboutItems[] = {
    // The animation's reel runs in the first 25 units (50 pixels) at the left edge.
    {"STATIC", "#601", 0xFFFF, icon, 5, 7, 16, 16},
    {"STATIC", "Driver:", 612, label, 32, 8, 44, 8},
    {"STATIC", "", 605, label, 80, 8, 212, 8},
    {"STATIC", "Setup version:", 613, label, 32, 20, 44, 8},
    {"STATIC", "", 606, label, 80, 20, 212, 8},
    {"STATIC", "Date:", 614, label, 32, 32, 44, 8},
    {"STATIC", "", 607, label, 80, 32, 80, 8},
    {"STATIC", "Size:", 615, label, 164, 32, 28, 8},
    {"STATIC", "", 608, label, 196, 32, 96, 8},
    {"STATIC", "This driver is protected by copyright law and international treaties.", 609, label, 32, 56,
     260, 16},
    {"STATIC", "All rights reserved.", 616, label, 32, 76, 260, 8},
    {"STATIC", "", 610, label, 32, 92, 260, 8},
    {"STATIC", "", 611, label, 32, 104, 260, 8},
};

namespace {
const KoDialogResource dialogs[] = {
    {1, "General", page, 0, 0, 300, 150, generalItems, sizeof generalItems / sizeof generalItems[0]},
    {2, "Advanced", page, 0, 0, 300, 150, advancedItems, sizeof advancedItems / sizeof advancedItems[0]},
    {10, "About", page, 0, 0, 300, 150, aboutItems, sizeof aboutItems / sizeof aboutItems[0]},
};
} // namespace

extern "C" const KoDialogResource* koResourceDialog(unsigned id) {
    for (const KoDialogResource& d : dialogs)
        if (d.id == id) return &d;
    return nullptr;
}
