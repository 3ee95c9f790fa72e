#pragma once
// The front end every modal loop takes its input from, and the script front end's queue and
// transcript. Internal to the layer.
#include <string>
#include <vector>
#include "platform/sheetconst.h"

namespace kownd {

// One line of a script.
struct Action {
    int line = 0; // line number in the script file; 0 for actions queued by the program
    std::string
        verb; // type, click, check, uncheck, select, page, answer, file, file-cancel, dump, drawings, sleep
    long number = 0;  // the control ID, page index, milliseconds
    std::string text; // the text argument, escapes decoded
    std::string raw;  // the line as written
};

// Parses one script line; false with a reason for a malformed one. Blank and comment lines give
// true with an empty verb.
bool parseAction(const std::string& line, Action* out, std::string* reason);
// Decodes the C escapes of a text argument; false for a malformed escape.
bool unescapeText(const std::string& in, std::string* out);
// Quotes a text for the transcript with the same escapes.
std::string quoteText(const std::string& text);

// The active front end, chosen once from KO_UI unless a program set one.
bool scriptActive();
// The terminal front end is chosen (its library may still fail to load: see terminalReady).
bool terminalActive();
// Reloads the script file when KO_UI_SCRIPT names another file or the file changed; called when an
// outermost modal loop starts.
void refreshScript();
// The next action, left in the queue (peek) or taken; false when the script has none left.
bool peekAction(Action* out);
bool takeAction(Action* out);
// Appends one line to the transcript (the file of KO_UI_TRANSCRIPT, and the program's record).
void transcript(const std::string& line);
// Writes the refusal of an action with its reason.
void refuse(const Action& a, const std::string& reason);

// How a window is named in the transcript: none, or its text quoted.
std::string ownerName(HWND owner);

} // namespace kownd

namespace kownd {

// Modal runs and their record (scriptrun unit).
bool canRunModal();
void dialogShown(HWND dialog, WORD templateId);
void dialogEnded(HWND dialog, WORD templateId, INT_PTR result);
// Delivers every posted window message; true when there was one.
bool deliverPosted();
// The sheet frame's current page, or null (propsheet unit).
HWND currentPage(HWND frame);
int currentPageIndex(HWND frame);
// The sheet's page titles, in order.
std::vector<std::string> pageTitles(HWND frame);

} // namespace kownd
