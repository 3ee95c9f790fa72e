// The prompt goes through the window system of the process: the one the program itself exports, else
// the one of the setup module beside this library when the process has loaded it (the setup dialogs
// run there, and the window handed down is one of theirs). The driver never loads a window system
// of its own: without one there is nobody to ask.
#include "driver/prompt.h"

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "platform/sheetconst.h"

namespace btrdrv {

namespace {

using OpenFileProc = BOOL (*)(LPOPENFILENAMEA);

// The window system's functions have C++ linkage: this is GetOpenFileNameA(OPENFILENAMEA*).
const char openFileSymbol[] = "_Z16GetOpenFileNameAP13OPENFILENAMEA";

OpenFileProc findOpenFileDialog() {
    if (void* f = dlsym(RTLD_DEFAULT, openFileSymbol)) return reinterpret_cast<OpenFileProc>(f);
    Dl_info self;
    if (!dladdr(reinterpret_cast<void*>(&findOpenFileDialog), &self) || !self.dli_fname) return nullptr;
    std::string path = self.dli_fname;
    size_t slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "ztbtr20s.so";
    void* setup = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!setup) return nullptr;
    void* f = dlsym(setup, openFileSymbol);
    dlclose(setup); // the process keeps its own reference
    return reinterpret_cast<OpenFileProc>(f);
}

} // namespace

PromptResult promptForDirectory(HWND window, std::string* directory) {
    OpenFileProc open = findOpenFileDialog();
    if (!open) return PromptResult::unavailable;
    char file[4096] = "";
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = window;
    ofn.lpstrFilter = "Btrieve data files\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = "Select a data file of the database";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!open(&ofn)) return PromptResult::cancelled;
    std::string chosen = file;
    size_t slash = chosen.rfind('/');
    *directory = slash == std::string::npos ? "." : slash == 0 ? "/" : chosen.substr(0, slash);
    return PromptResult::chosen;
}

} // namespace btrdrv
