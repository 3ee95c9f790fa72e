// Help display: which browser opens ".htm" files, the address forms it is sent, and how it is
// reached (steered when it answers, else started).
#include "foundation/ui/kohelpstate.h"

#include <cstring>

#include "foundation/errors/ramalloc.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace {

// Reads the default value of key\subKey of the classes root into out (size bytes, terminated).
bool readClassValue(const char* key, const char* subKey, char* out, DWORD size) {
    char path[512];
    if (std::strlen(key) + (subKey ? std::strlen(subKey) : 0) + 1 > sizeof path) return false;
    std::strcpy(path, key);
    if (subKey) std::strcat(path, subKey);
    HKEY h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
    DWORD type = 0, n = size - 1;
    LONG rc = RegQueryValueExA(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(out), &n);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    out[n < size ? n : size - 1] = 0;
    return true;
}

bool keyExists(const char* key, const char* subKey) {
    char path[512];
    if (std::strlen(key) + std::strlen(subKey) + 1 > sizeof path) return false;
    std::strcpy(path, key);
    std::strcat(path, subKey);
    HKEY h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// Escapes the address as the JavaScript form reads it back with unescape().
const char* escapeOf(unsigned char c) {
    switch (c) {
    case '"':
        return "%22";
    case '%':
        return "%25";
    case '&':
        return "%26";
    case '\'':
        return "%27";
    case '?':
        return "%3f";
    case '\\':
        return "%5c";
    default:
        return nullptr;
    }
}

const char kScriptHead[] = "javascript:x=unescape('";
const char kScriptMiddle[] =
    "');if(typeof window.WWHFrame!='undefined'){window.WWHFrame.WWHHelp.fSetContextDocument(x);}else{";
const char kFallbackPlain[] = "location=x;";
const char kFallbackNetscape[] = "y=eval(\"document.open();document.writeln('<a "
                                 "href=\\\\\"\"+x+\"\\\\\">\"+x+\"</a>');document.close();\");";
const char kScriptTail[] = "}";

// Writes the address into a command line so that the Windows command-line rules read it back as it
// is: quotes become \" and the backslashes before a quote (or before the closing quote) are doubled.
// quoted: the address stands inside a quoted part of the command; otherwise it gets its own quotes
// when it needs them. Returns the length; writes only when out is not null.
size_t quoteInto(char* out, const unsigned char* address, bool quoted, bool closedByQuote) {
    size_t len = 0;
    auto put = [&](char c) {
        if (out) out[len] = c;
        ++len;
    };
    const char* a = reinterpret_cast<const char*>(address);
    bool needQuotes = !quoted && (!*a || std::strpbrk(a, " \t\""));
    if (needQuotes) put('"');
    for (const char* p = a; *p; ++p) {
        size_t backslashes = 0;
        while (p[backslashes] == '\\')
            ++backslashes;
        if (backslashes) {
            bool beforeQuote = p[backslashes] == '"' || (!p[backslashes] && (needQuotes || closedByQuote));
            for (size_t i = 0; i < (beforeQuote ? 2 * backslashes : backslashes); ++i)
                put('\\');
            p += backslashes - 1;
            continue;
        }
        if (*p == '"') put('\\');
        put(*p);
    }
    if (needQuotes) put('"');
    return len;
}

// Whether position pos of a command line lies inside a quoted part, by the command-line rules.
bool insideQuotes(const char* line, size_t pos) {
    bool quoted = false;
    size_t i = 0;
    // The program name knows no escapes.
    if (line[0] == '"') {
        for (i = 1; i < pos && line[i] != '"'; ++i) {
        }
        if (i >= pos) return true;
        ++i;
    }
    for (; i < pos; ++i) {
        if (line[i] == '\\') {
            size_t n = 0;
            while (i + n < pos && line[i + n] == '\\')
                ++n;
            if (i + n < pos && line[i + n] == '"' && n % 2) {
                i += n; // an escaped quote
                continue;
            }
            i += n - 1;
        } else if (line[i] == '"') {
            if (quoted && i + 1 < pos && line[i + 1] == '"')
                ++i;
            else
                quoted = !quoted;
        }
    }
    return quoted;
}

} // namespace

KoStatus koHelpDetectBrowser() {
    KoHelpState& s = koHelpState();
    koHelpResetBrowser();
    s.detected = true;
    char className[256];
    if (!readClassValue(".htm", nullptr, className, sizeof className)) {
        HKEY h;
        // The ".html" class only when ".htm" is not there at all.
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".htm", 0, KEY_QUERY_VALUE, &h) == ERROR_SUCCESS) {
            RegCloseKey(h);
            return koFailure;
        }
        if (!readClassValue(".html", nullptr, className, sizeof className)) return koFailure;
    }
    bool netscapeMarkup = std::strcmp(className, "NetscapeMarkup") == 0;
    bool mozillaHtml = std::strcmp(className, "MozillaHTML") == 0;
    s.netscapeFamily = netscapeMarkup || mozillaHtml;
    s.longItemFile = netscapeMarkup;
    if (!readClassValue(className, "\\shell\\open\\command", s.openCommand, sizeof s.openCommand))
        return koFailure;
    if (keyExists(className, "\\shell\\open\\ddeexec\\Application")) {
        if (!readClassValue(className, "\\shell\\open\\ddeexec\\Application", s.ddeService,
                            sizeof s.ddeService))
            return koFailure;
        s.internetExplorer = std::strcmp(s.ddeService, "IExplore") == 0;
        return koSuccess;
    }
    if (netscapeMarkup) {
        std::strcpy(s.ddeService, "NETSCAPE");
        return koSuccess;
    }
    if (mozillaHtml && std::strstr(s.openCommand, "NETSCP6.EXE")) {
        std::strcpy(s.ddeService, "Netscape6");
        return koSuccess;
    }
    if (mozillaHtml && std::strstr(s.openCommand, "MOZILLA.EXE")) {
        std::strcpy(s.ddeService, "Mozilla");
        return koSuccess;
    }
    // A browser that is not steered over DDE (the desktop's opener among them) is still started with
    // its open command: it has no service to ask.
    return koSuccess;
}

unsigned char* koHelpJavaScriptForm(const unsigned char* address) {
    const char* fallback = koHelpState().netscapeFamily ? kFallbackNetscape : kFallbackPlain;
    size_t size = std::strlen(kScriptHead) + std::strlen(kScriptMiddle) + std::strlen(fallback) +
                  std::strlen(kScriptTail) + 1;
    for (const unsigned char* p = address; *p; ++p)
        size += escapeOf(*p) ? 3 : 1;
    if (size > UINT32_MAX) return nullptr;
    char* out = static_cast<char*>(ramAlloc(static_cast<uint32_t>(size)));
    if (!out) return nullptr;
    char* o = out;
    auto put = [&o](const char* t) {
        size_t n = std::strlen(t);
        std::memcpy(o, t, n);
        o += n;
    };
    put(kScriptHead);
    for (const unsigned char* p = address; *p; ++p) {
        if (const char* e = escapeOf(*p))
            put(e);
        else
            *o++ = static_cast<char>(*p);
    }
    put(kScriptMiddle);
    put(fallback);
    put(kScriptTail);
    *o = 0;
    return reinterpret_cast<unsigned char*>(out);
}

void koHelpDisplay(const unsigned char* address) {
    KoHelpState& s = koHelpState();
    if (koHelpDdeVersion()) {
        unsigned char* script = koHelpJavaScriptForm(address);
        const unsigned char* sent = script ? script : address;
        bool done;
        if (s.internetExplorer) {
            done = koHelpShellWindowsSend(sent);
        } else {
            done = koHelpDdeOpen(sent);
            if (done) koHelpDdeActivate(); // whether the window came forward does not matter
        }
        ramFree(script);
        if (done) return;
    }
    koHelpStartBrowser(address);
}

unsigned char* koHelpBrowserCommand(const char* openCommand, const unsigned char* address) {
    const char* marker = std::strstr(openCommand, "%1");
    size_t prefix = marker ? static_cast<size_t>(marker - openCommand) : std::strlen(openCommand);
    const char* rest = marker ? marker + 2 : "";
    bool quoted = marker && insideQuotes(openCommand, prefix);
    bool closedByQuote = quoted && *rest == '"';
    // Without "%1" the address goes after a blank, in double quotes of its own.
    size_t middle = marker ? quoteInto(nullptr, address, quoted, closedByQuote)
                           : 1 + 1 + quoteInto(nullptr, address, true, true) + 1;
    size_t size = prefix + middle + std::strlen(rest) + 1;
    if (size > UINT32_MAX) return nullptr;
    char* out = static_cast<char*>(ramAlloc(static_cast<uint32_t>(size)));
    if (!out) return nullptr;
    std::memcpy(out, openCommand, prefix);
    char* o = out + prefix;
    if (marker) {
        o += quoteInto(o, address, quoted, closedByQuote);
    } else {
        *o++ = ' ';
        *o++ = '"';
        o += quoteInto(o, address, true, true);
        *o++ = '"';
    }
    std::strcpy(o, rest);
    return reinterpret_cast<unsigned char*>(out);
}

bool koHelpStartBrowser(const unsigned char* address) {
    unsigned char* command = koHelpBrowserCommand(koHelpState().openCommand, address);
    if (!command) return false;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessA(nullptr, reinterpret_cast<char*>(command), nullptr, nullptr, FALSE,
                                  DETACHED_PROCESS, nullptr, nullptr, &startup, &process);
    ramFree(command);
    if (!started) return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
