// Help display: finding the driver's help set, and the start, show and end of a help request.
#include "foundation/ui/kohelp.h"
#include "foundation/ui/kohelpstate.h"

#include <cstdio>
#include <cstring>

#include "foundation/errors/ramalloc.h"
#include "foundation/os/registry.h"
#include "foundation/ui/resourcelib.h"
#include "platform/com.h"
#include "platform/file.h"
#include "platform/window.h"

namespace {

const uint16_t kNoHelpCaption = 1525;
const uint16_t kNoHelpText = 1526;
const char kShellWindowsClass[] = "9BA05972-F6A8-11CF-A442-00A0C90A8F39";

// Bytes a URL path may hold as they are; every other one is written "%XX".
bool plainInUrl(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return c != 0 && std::strchr("-._~/!$&'()*+,;=:@", c) != nullptr;
}

// Appends text to out (size bytes) at *length, counting what does not fit.
void append(unsigned char* out, uint32_t size, uint32_t* length, const char* text, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i, ++*length)
        if (out && *length + 1 < size) out[*length] = static_cast<unsigned char>(text[i]);
}

// The message when the driver's help folder is not registered: the resource library's texts, or the
// same texts of our own when that library is not loaded (help asked for outside a setup request).
void tellNoHelpFolder() {
    unsigned char caption[512], text[512];
    const char* c = winGetString(caption, kNoHelpCaption) ? reinterpret_cast<char*>(caption) : "Help";
    const char* t = winGetString(text, kNoHelpText)
                        ? reinterpret_cast<char*>(text)
                        : "The help folder of this driver is not registered. Set HelpRootDirectory in the "
                          "driver's section of odbcinst.ini to the folder that holds help.htm, or register "
                          "the driver again with \"btrdsn install\".";
    MessageBoxA(nullptr, t, c, MB_OK);
}

} // namespace

KoHelpState& koHelpState() {
    static KoHelpState state;
    return state;
}

uint32_t koHelpEntryAddress(const unsigned char* directory, unsigned char* out, uint32_t size) {
    const char* dir = directory ? reinterpret_cast<const char*>(directory) : "";
    uint32_t length = 0;
    append(out, size, &length, "file://", 7);
    char cwd[4096];
    if (dir[0] != '/') {
        DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
        if (n == 0 || n >= sizeof cwd) n = 0;
        if (n > 0 && cwd[n - 1] == '/') --n;
        cwd[n] = 0;
        for (DWORD i = 0; i < n; ++i) {
            char escaped[4];
            unsigned char c = static_cast<unsigned char>(cwd[i]);
            if (plainInUrl(c))
                append(out, size, &length, cwd + i, 1);
            else
                append(out, size, &length, escaped, std::snprintf(escaped, sizeof escaped, "%%%02X", c));
        }
        if (dir[0]) append(out, size, &length, "/", 1);
    }
    size_t n = std::strlen(dir);
    while (n > 0 && dir[n - 1] == '/') // "/help.htm" brings its own separator
        --n;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(dir[i]);
        if (plainInUrl(c)) {
            append(out, size, &length, dir + i, 1);
        } else {
            char escaped[4];
            append(out, size, &length, escaped, std::snprintf(escaped, sizeof escaped, "%%%02X", c));
        }
    }
    append(out, size, &length, "/help.htm", 9);
    if (out && size > 0) out[length < size ? length : size - 1] = 0;
    return length;
}

KoStatus koFindHelpRoot(const unsigned char* driverSection, unsigned char** address, uint32_t size) {
    if (!address || !*address || size == 0) return koFailure;
    unsigned char directory[255] = "";
    // A missing section name would read the list of sections instead of the entry.
    if (driverSection && driverSection[0])
        ntGetProfileString(driverSection, reinterpret_cast<const unsigned char*>("HelpRootDirectory"),
                           reinterpret_cast<const unsigned char*>(""), directory, sizeof directory,
                           reinterpret_cast<const unsigned char*>("ODBCINST.INI"), 0);
    if (!directory[0]) {
        tellNoHelpFolder();
        return koFailure;
    }
    koHelpEntryAddress(directory, *address, size);
    return koSuccess;
}

void koHelpResetBrowser() {
    KoHelpState& s = koHelpState();
    s.window = -1;
    s.detected = s.netscapeFamily = s.longItemFile = s.internetExplorer = false;
    s.ddeService[0] = 0;
}

KoStatus koHelpStart(const unsigned char* address) {
    KoHelpState& s = koHelpState();
    if (s.baseAddress || !address || !address[0]) return koFailure;
    s.baseAddress = ramAllocStr(address);
    if (!s.baseAddress) return koFailure;
    char folder[4096];
    DWORD n = GetTempPathA(sizeof folder, folder);
    bool ok = n > 0 && n < sizeof folder;
    if (ok && GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES)
        ok = CreateDirectoryA(folder, nullptr) != FALSE;
    ok = ok && GetTempFileNameA(folder, "wwhapi", 0, s.tempFile) != 0;
    ok = ok && UuidFromStringA(reinterpret_cast<const unsigned char*>(kShellWindowsClass),
                               &s.shellWindowsClass) == RPC_S_OK;
    if (!ok) {
        if (s.tempFile[0]) DeleteFileA(s.tempFile);
        s.tempFile[0] = 0;
        ramFree(s.baseAddress);
        s.baseAddress = nullptr;
        return koFailure;
    }
    s.ready = true;
    koHelpResetBrowser();
    return koSuccess;
}

void koHelpShowTopic(const unsigned char* context, const unsigned char* topic) {
    KoHelpState& s = koHelpState();
    if (!s.baseAddress) return;
    const char* base = reinterpret_cast<const char*>(s.baseAddress);
    bool both = context && topic && context[0] && topic[0];
    size_t size = std::strlen(base) + std::strlen("?single=true") + 1;
    if (both)
        size += std::strlen("?context=") + std::strlen(reinterpret_cast<const char*>(context)) +
                std::strlen("&topic=") + std::strlen(reinterpret_cast<const char*>(topic));
    if (size > UINT32_MAX) return;
    char* address = static_cast<char*>(ramAlloc(static_cast<uint32_t>(size)));
    if (!address) return;
    std::strcpy(address, base);
    if (both) {
        std::strcat(address, "?context=");
        std::strcat(address, reinterpret_cast<const char*>(context));
        std::strcat(address, "&topic=");
        std::strcat(address, reinterpret_cast<const char*>(topic));
    }
    std::strcat(address, both ? "&single=true" : "?single=true");
    if (koHelpDetectBrowser() == koSuccess) koHelpDisplay(reinterpret_cast<unsigned char*>(address));
    ramFree(address);
}

void koHelpEnd() {
    KoHelpState& s = koHelpState();
    ramFree(s.baseAddress);
    s.baseAddress = nullptr;
    koHelpResetBrowser();
    if (s.tempFile[0]) DeleteFileA(s.tempFile);
    s.tempFile[0] = 0;
    s.ready = false;
}

void koDisplayHelp(const unsigned char* driverSection, const unsigned char* topic) {
    unsigned char* buffer = static_cast<unsigned char*>(ramAlloc(kHelpAddressSize));
    if (!buffer) return;
    if (koFindHelpRoot(driverSection, &buffer, kHelpAddressSize) == koSuccess &&
        koHelpStart(buffer) == koSuccess) {
        koHelpShowTopic(reinterpret_cast<const unsigned char*>("ODBC"), topic);
        koHelpEnd();
    }
    ramFree(buffer);
}

void koDisplayHelp2(const unsigned char* helpDirectory, const unsigned char* context,
                    const unsigned char* topic) {
    unsigned char* buffer = static_cast<unsigned char*>(ramAlloc(kHelpAddressSize));
    if (!buffer) return;
    koHelpEntryAddress(helpDirectory, buffer, kHelpAddressSize);
    if (koHelpStart(buffer) == koSuccess) {
        koHelpShowTopic(context, topic);
        koHelpEnd();
    }
    ramFree(buffer);
}
