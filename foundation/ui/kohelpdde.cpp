// Help display: the exchanges with a running Netscape-family browser over DDE.
#include "foundation/ui/kohelpstate.h"

#include <cstdio>
#include <cstring>

#include "foundation/errors/ramalloc.h"
#include "platform/dde.h"
#include "platform/file.h"
#include "platform/handle.h"

namespace {

HDDEDATA clientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

// One request transaction with the browser's service: connects on topic, asks for item as text and
// disconnects. The answer's bytes go to out (at most size), its full size to *length. False when no
// browser answers or no data comes back.
bool ddeRequest(const char* topic, const char* item, unsigned char* out, DWORD size, DWORD* length) {
    const char* service = koHelpState().ddeService;
    if (!service[0]) return false;
    DWORD instance = 0;
    if (DdeInitializeA(&instance, clientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return false;
    bool answered = false;
    HSZ serviceName = DdeCreateStringHandleA(instance, service, CP_WINANSI);
    HSZ topicName = DdeCreateStringHandleA(instance, topic, CP_WINANSI);
    HSZ itemName = DdeCreateStringHandleA(instance, item, CP_WINANSI);
    if (serviceName && topicName && itemName) {
        if (HCONV conversation = DdeConnect(instance, serviceName, topicName, nullptr)) {
            HDDEDATA data = DdeClientTransaction(nullptr, 0, conversation, itemName, CF_TEXT, XTYP_REQUEST,
                                                 kHelpDdeTimeout, nullptr);
            if (data) {
                *length = DdeGetData(data, nullptr, 0, 0);
                if (out && size) DdeGetData(data, out, size, 0);
                DdeFreeDataHandle(data);
                answered = true;
            }
            DdeDisconnect(conversation);
        }
    }
    for (HSZ name : {serviceName, topicName, itemName})
        if (name) DdeFreeStringHandle(instance, name);
    DdeUninitialize(instance);
    return answered;
}

// Puts the address into the temporary file, for a browser that reads a long item from there.
bool writeTempFile(const unsigned char* address) {
    KoHelpState& s = koHelpState();
    if (!s.ready || !s.tempFile[0]) return false;
    HANDLE file =
        CreateFileA(s.tempFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD length = static_cast<DWORD>(std::strlen(reinterpret_cast<const char*>(address))), written = 0;
    bool ok = WriteFile(file, address, length, &written, nullptr) && written == length;
    CloseHandle(file);
    return ok;
}

// The open item: "\"address\",,window,3", or, for a long one when the browser reads long items from a
// file, "\"^file\",,window,3". Null when it cannot be made.
char* openItem(const unsigned char* address) {
    KoHelpState& s = koHelpState();
    const char* a = reinterpret_cast<const char*>(address);
    size_t size = std::strlen(a) + std::strlen(s.tempFile) + 32;
    if (size > UINT32_MAX) return nullptr;
    char* item = static_cast<char*>(ramAlloc(static_cast<uint32_t>(size)));
    if (!item) return nullptr;
    int n = std::snprintf(item, size, "\"%s\",,%d,3", a, static_cast<int>(s.window));
    if (n > 255) {
        if (!s.longItemFile || !writeTempFile(address)) {
            ramFree(item);
            return nullptr;
        }
        std::snprintf(item, size, "\"^%s\",,%d,3", s.tempFile, static_cast<int>(s.window));
    }
    return item;
}

} // namespace

bool koHelpDdeVersion() {
    DWORD length = 0;
    return ddeRequest("WWW_Version", "WWW_Version", nullptr, 0, &length);
}

bool koHelpDdeOpen(const unsigned char* address) {
    KoHelpState& s = koHelpState();
    for (int attempt = 0; attempt < 2; ++attempt) {
        char* item = openItem(address);
        if (!item) return false;
        unsigned char answer[4];
        DWORD length = 0;
        bool answered = ddeRequest("WWW_OpenURL", item, answer, sizeof answer, &length);
        ramFree(item);
        if (!answered || length != 4) return false;
        int32_t window;
        std::memcpy(&window, answer, sizeof window);
        if (window != 0 && window != -1) {
            s.window = window;
            return true;
        }
        if (window != 0 || s.window == -1) return false;
        s.window = -1; // the window asked for is gone: any window will do
    }
    return false;
}

bool koHelpDdeActivate() {
    char item[32];
    std::snprintf(item, sizeof item, "%d,0", static_cast<int>(koHelpState().window));
    DWORD length = 0;
    return ddeRequest("WWW_Activate", item, nullptr, 0, &length);
}
