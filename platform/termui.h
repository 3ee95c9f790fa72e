#pragma once
// The terminal front end: a person at a terminal drives the same window tree the script front end
// drives, with keys and the mouse. Internal to the layer.
#include <functional>
#include <string>
#include <vector>
#include "platform/termcurses.h"
#include "platform/window.h"

namespace kownd {

// True when standard input and output are a terminal with a usable description (TERM set, not
// "dumb"); the library is not loaded for this.
bool terminalUsable();
// The front end is the terminal's and its library loads.
bool terminalReady();

// The screen is taken while any terminal dialog runs (nested runs share it) and given back, the
// terminal restored, when the outermost ends.
bool screenBegin();
void screenEnd();
// A terminal dialog runs now.
bool screenActive();

// Drawing into the next frame: text clipped to the screen, a framed box, the whole frame shown.
int screenRows();
int screenCols();
void screenPut(int row, int col, const std::string& text, unsigned attr = attrNormal, int maxWidth = -1);
void screenFill(int row, int col, int height, int width, unsigned attr = attrNormal);
void screenBox(int row, int col, int height, int width, const std::string& title, unsigned attr = attrNormal);
// Shows the frame; the cursor at (row, col), hidden when row is negative.
void screenShow(int row, int col);

// What a read of the terminal gives.
struct Input {
    enum Kind { key, tick, lost, interrupt } kind = tick;
    int code = 0;     // the key
    bool alt = false; // pressed with Alt (sent as Escape first)
    std::string text; // a typed character in the ANSI code page (one or two bytes); "" for other keys
    MouseEvent mouse{};
};
// Waits up to timeoutMs for a key; tick when none came.
Input screenRead(int timeoutMs);
// Leaves as the signal would: the terminal restored first, nothing more done. Does not return.
[[noreturn]] void screenAbandon(const Input& why);

// Modal runs stack their drawings: every run redraws the ones below it before its own.
void pushLayer(std::function<void()> draw);
void popLayer();
void drawLayers(); // every layer but the top

// One run's hold on the screen and its layer, given back however the run ends (a failed
// allocation's exception included).
class ScreenRun {
public:
    ScreenRun() : taken_(screenBegin()) {}
    ~ScreenRun() {
        if (layered_) popLayer();
        if (taken_) screenEnd();
    }
    ScreenRun(const ScreenRun&) = delete;
    ScreenRun& operator=(const ScreenRun&) = delete;
    bool taken() const { return taken_; }
    void show(std::function<void()> draw) {
        pushLayer(std::move(draw));
        layered_ = true;
    }

private:
    bool taken_;
    bool layered_ = false;
};

// The runs themselves.
INT_PTR terminalModalLoop(HWND window);
int terminalMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type,
                       const int* buttons, int count, int defaultAnswer);
// The file chosen, or false when cancelled. check names why a choice is refused ("" to accept).
bool terminalOpenFile(const std::string& title, const std::string& filter, int filterIndex,
                      const std::string& dir, const std::function<std::string(const std::string&)>& check,
                      std::string* path);

// A text with its mnemonic marks removed; *mnemonic the position of the marked letter, or -1.
std::string stripMnemonic(const std::string& text, int* mnemonic);
// Lines of at most width columns, broken at blanks where possible.
std::vector<std::string> wrapText(const std::string& text, int width);

} // namespace kownd

namespace kownd {

// What one modal run shows and where: the screen cells of each control, for the mouse.
struct Region {
    int row, col, height, width;
    HWND control; // null for a tab
    int tab;      // the sheet page a tab selects, else -1
};

struct RunView {
    HWND top = nullptr;
    std::vector<Region> regions;
    std::vector<std::pair<HWND, size_t>> carets; // edit controls' insertion points
    HWND openCombo = nullptr;                    // the combo box whose list is down
    int listIndex = 0;                           // the entry marked in that list
    int cursorRow = -1, cursorCol = -1;
    int page = -2;                                   // the sheet page the focus was placed on
    std::vector<std::pair<HWND, std::string>> reels; // the last icon drawn into a window
};

// Draws the run's window (a dialog, or a sheet with its tabs and buttons) centred on the screen.
void drawRun(RunView& view);
// The caret of an edit control, kept within its text.
size_t& caretOf(RunView& view, HWND edit);
// The controls Tab visits, in order: the page's (or dialog's), then the sheet's buttons.
std::vector<HWND> focusOrder(HWND top);
// The window whose controls the person works in: the sheet's current page, else the dialog.
HWND contentOf(HWND top);
bool isSheetFrame(HWND h);
// The sheet's page titles (propsheet unit).
std::vector<std::string> pageTitles(HWND frame);

} // namespace kownd
