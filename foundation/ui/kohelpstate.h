#pragma once
// The help display's process-wide browser state and the steps of a help request, shared by the help
// units (and reached by the tests); not part of the exported interface.
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "platform/types.h"
#include "platform/com.h"

// Room for the help set's entry address: "file://", a help directory of up to 254 characters with
// every byte escaped ("%XX"), "/help.htm" and the terminator.
constexpr uint32_t kHelpAddressSize = 7 + 3 * 254 + 9 + 1;
// The DDE time-out of the browser exchanges, in milliseconds.
constexpr uint32_t kHelpDdeTimeout = 10000;

struct KoHelpState {
    unsigned char* baseAddress = nullptr; // the entry address of the request in progress (ramAlloc)
    bool ready = false;                   // temporary file name and class identifier prepared
    bool detected = false;
    bool netscapeFamily = false;
    bool longItemFile = false; // long DDE items go through the temporary file
    bool internetExplorer = false;
    char openCommand[4096] = "";
    char ddeService[256] = "";
    int32_t window = -1; // the browser window of the last successful open; -1 for any window
    char tempFile[MAX_PATH] = "";
    CLSID shellWindowsClass{};
};

// The one state of the process (help runs on the thread of the setup dialogs only).
KoHelpState& koHelpState();

// Forms the entry address of the help set in directory: a file:// URL of the absolute folder
// (relative names are taken from the current directory) with "/help.htm", its bytes escaped where a
// URL would read them otherwise. Cut to size; returns the full length.
uint32_t koHelpEntryAddress(const unsigned char* directory, unsigned char* out, uint32_t size);

// The request steps: start (0 when the state took the address), show one topic, end.
KoStatus koHelpStart(const unsigned char* address);
void koHelpShowTopic(const unsigned char* context, const unsigned char* topic);
void koHelpEnd();
// Clears the browser fields (window -1, flags, service).
void koHelpResetBrowser();

// Browser detection from the ".htm" class of the registry's classes root; 0 when a browser was found.
KoStatus koHelpDetectBrowser();
// Shows address in the detected browser: steered when one answers, else a new browser process.
void koHelpDisplay(const unsigned char* address);
// The JavaScript form of address for the detected browser (ramAlloc; null when memory is short).
unsigned char* koHelpJavaScriptForm(const unsigned char* address);
// The DDE exchanges with the detected browser's service; each true on success.
bool koHelpDdeVersion();
bool koHelpDdeOpen(const unsigned char* address);
bool koHelpDdeActivate();
// The browser automation of the shell's window list; true when a window was navigated.
bool koHelpShellWindowsSend(const unsigned char* address);
// The command line that starts the browser on address (ramAlloc; null when memory is short): the
// open command with its first "%1" replaced by the address, or the address appended in double
// quotes; the address is quoted so that it reaches the browser as exactly one argument.
unsigned char* koHelpBrowserCommand(const char* openCommand, const unsigned char* address);
// Starts the browser on address as a detached process; true when it started.
bool koHelpStartBrowser(const unsigned char* address);
