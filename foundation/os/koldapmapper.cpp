#include "foundation/os/koldap.h"

#include <cstring>
#include <mutex>

#include "foundation/text/strcomp.h"
#include "platform/win32.h"

namespace {

// Names of the bound functions, by entry-table index.
const char* const kEntryNames[] = {
    "ldap_init",        "ldap_simple_bind_s", "ldap_unbind",          "ldap_search_ext_s",
    "ldap_first_entry", "ldap_err2string",    "ldap_first_attribute", "ldap_next_attribute",
    "ldap_get_values",  "ldap_value_free",    "ldap_memfree",         "ldap_msgfree",
    "ber_free",         "ldap_set_option",
};

// The system's OpenLDAP client, tried when the derived name does not load: the current soname,
// then the one of the 2.5 series.
const char* const kSystemClients[] = {"libldap.so.2", "libldap-2.5.so.0"};

// What a forwarder answers for a function the library did not give.
constexpr int kNotSupported = -12;

typedef LDAP* (*InitFn)(const char*, int);
typedef int (*SimpleBindFn)(LDAP*, const char*, const char*);
typedef int (*UnbindFn)(LDAP*);
typedef int (*SearchFn)(LDAP*, const char*, int, const char*, char**, int, LDAPControl**, LDAPControl**,
                        struct timeval*, int, LDAPMessage**);
typedef LDAPMessage* (*FirstEntryFn)(LDAP*, LDAPMessage*);
typedef char* (*Err2StringFn)(int);
typedef char* (*FirstAttributeFn)(LDAP*, LDAPMessage*, BerElement**);
typedef char* (*NextAttributeFn)(LDAP*, LDAPMessage*, BerElement*);
typedef char** (*GetValuesFn)(LDAP*, LDAPMessage*, const char*);
typedef void (*ValueFreeFn)(char**);
typedef void (*MemFreeFn)(void*);
typedef int (*MsgFreeFn)(LDAPMessage*);
typedef void (*BerFreeFn)(BerElement*, int);
typedef int (*SetOptionFn)(LDAP*, int, const void*);

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

// The OpenLDAP client sets up process-wide state at its first use (global options, TLS) and never
// frees it; unloaded and loaded again it would set it up anew each time. The first reference the
// process takes on each client library is therefore kept for the life of the process.
bool keepLoaded(HMODULE module) {
    static std::mutex lock;
    static HMODULE kept[8];
    std::lock_guard<std::mutex> guard(lock);
    for (HMODULE& slot : kept) {
        if (slot == module) return false;
        if (!slot) {
            slot = module;
            return true;
        }
    }
    return false;
}

bool isSeparator(unsigned char c) {
    return c == '/' || c == '\\';
}

} // namespace

KoLDAPCallMapper::KoLDAPCallMapper() = default;

KoLDAPCallMapper::~KoLDAPCallMapper() = default;

KoStatus KoLDAPCallMapper::deriveLibraryName(const unsigned char* modulePath, unsigned char* out) {
    if (!modulePath || !out) return koFailure;
    // Base name: after the last separator, up to the last dot, at most 128 characters.
    const unsigned char* start = modulePath;
    for (const unsigned char* p = modulePath; *p; ++p)
        if (isSeparator(*p)) start = p + 1;
    size_t n = std::strlen(reinterpret_cast<const char*>(start));
    for (size_t i = n; i-- > 0;)
        if (start[i] == '.') {
            n = i;
            break;
        }
    if (n > 128) n = 128;
    if (n == 0) return koFailure;
    static const char kReserved[] = "XRVFLDAP.DLL";
    if (n >= 2 && strEqualCi(start, 2, U(kReserved), 2)) {
        std::memcpy(out, kReserved, sizeof kReserved);
        return koSuccess;
    }
    size_t tail = n < 2 ? n : 2;
    std::memcpy(out, "VZLDAP", 6);
    std::memcpy(out + 6, start + n - tail, tail);
    std::memcpy(out + 6 + tail, ".DLL", 5);
    return koSuccess;
}

KoStatus KoLDAPCallMapper::bindLibrary() {
    if (!getInitialized()) {
        // The driver module that would name the library is never recorded in this library, so the
        // name comes from the host program.
        char modulePath[261];
        DWORD got = GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
        unsigned char derived[141];
        if (got == 0 || deriveLibraryName(U(modulePath), derived)) return koFailure;
        // A deployment may bring its own client under the derived name; otherwise the system's is
        // used. The probe keeps its reference until the binder holds one, so nothing loads twice.
        const unsigned char* chosen = derived;
        HMODULE probe = LoadLibraryA(reinterpret_cast<const char*>(derived));
        for (const char* name : kSystemClients) {
            if (probe) break;
            probe = LoadLibraryA(name);
            if (probe) chosen = U(name);
        }
        KoStatus status = setDLLName(chosen);
        if (status == koSuccess) status = initialize();
        if (probe && !keepLoaded(probe)) FreeLibrary(probe);
        if (status) {
            // A table that could not be made leaves the library loaded; give it back so that the
            // next connect starts over.
            release();
            return koFailure;
        }
    }
    // In index order, stopping at the first gap; a later call retries from the gaps, so a missing
    // function is reported at every connect.
    for (uint32_t i = 0; i < requiredEntries; ++i)
        if (!getDLLEntryPoint(i) && setDLLEntryPoint(U(kEntryNames[i]), i)) return koFailure;
    if (!getDLLEntryPoint(idxSetOption)) setOptionalDLLEntryPoint(U(kEntryNames[idxSetOption]), idxSetOption);
    return koSuccess;
}

int KoLDAPCallMapper::getMapperInitialzed() {
    return getInitialized();
}

int KoLDAPCallMapper::isComplete() {
    if (!getInitialized()) return 0;
    for (uint32_t i = 0; i < requiredEntries; ++i)
        if (!getDLLEntryPoint(i)) return 0;
    return 1;
}

LDAP* KoLDAPCallMapper::ldap_init(const char* host, int port) {
    auto f = reinterpret_cast<InitFn>(getDLLEntryPoint(idxInit));
    return f ? f(host, port) : nullptr;
}

int KoLDAPCallMapper::ldap_simple_bind_s(LDAP* ld, const char* who, const char* password) {
    auto f = reinterpret_cast<SimpleBindFn>(getDLLEntryPoint(idxSimpleBindS));
    return f ? f(ld, who, password) : kNotSupported;
}

int KoLDAPCallMapper::ldap_unbind(LDAP* ld) {
    auto f = reinterpret_cast<UnbindFn>(getDLLEntryPoint(idxUnbind));
    return f ? f(ld) : kNotSupported;
}

int KoLDAPCallMapper::ldap_search_ext_s(LDAP* ld, const char* base, int scope, const char* filter,
                                        char** attrs, int attrsonly, LDAPControl** serverctrls,
                                        LDAPControl** clientctrls, struct timeval* timeout, int sizelimit,
                                        LDAPMessage** res) {
    auto f = reinterpret_cast<SearchFn>(getDLLEntryPoint(idxSearchExtS));
    if (!f) {
        if (res) *res = nullptr;
        return kNotSupported;
    }
    return f(ld, base, scope, filter, attrs, attrsonly, serverctrls, clientctrls, timeout, sizelimit, res);
}

LDAPMessage* KoLDAPCallMapper::ldap_first_entry(LDAP* ld, LDAPMessage* chain) {
    auto f = reinterpret_cast<FirstEntryFn>(getDLLEntryPoint(idxFirstEntry));
    return f ? f(ld, chain) : nullptr;
}

char* KoLDAPCallMapper::ldap_err2string(int err) {
    static char empty[] = "";
    auto f = reinterpret_cast<Err2StringFn>(getDLLEntryPoint(idxErr2String));
    char* text = f ? f(err) : nullptr;
    return text ? text : empty;
}

char* KoLDAPCallMapper::ldap_first_attribute(LDAP* ld, LDAPMessage* entry, BerElement** ber) {
    auto f = reinterpret_cast<FirstAttributeFn>(getDLLEntryPoint(idxFirstAttribute));
    if (!f) {
        if (ber) *ber = nullptr;
        return nullptr;
    }
    return f(ld, entry, ber);
}

char* KoLDAPCallMapper::ldap_next_attribute(LDAP* ld, LDAPMessage* entry, BerElement* ber) {
    auto f = reinterpret_cast<NextAttributeFn>(getDLLEntryPoint(idxNextAttribute));
    return f ? f(ld, entry, ber) : nullptr;
}

char** KoLDAPCallMapper::ldap_get_values(LDAP* ld, LDAPMessage* entry, const char* target) {
    auto f = reinterpret_cast<GetValuesFn>(getDLLEntryPoint(idxGetValues));
    return f ? f(ld, entry, target) : nullptr;
}

void KoLDAPCallMapper::ldap_value_free(char** vals) {
    auto f = reinterpret_cast<ValueFreeFn>(getDLLEntryPoint(idxValueFree));
    if (f) f(vals);
}

void KoLDAPCallMapper::ldap_memfree(void* p) {
    auto f = reinterpret_cast<MemFreeFn>(getDLLEntryPoint(idxMemFree));
    if (f) f(p);
}

int KoLDAPCallMapper::ldap_msgfree(LDAPMessage* lm) {
    auto f = reinterpret_cast<MsgFreeFn>(getDLLEntryPoint(idxMsgFree));
    return f ? f(lm) : kNotSupported;
}

void KoLDAPCallMapper::ber_free(BerElement* ber, int freebuf) {
    auto f = reinterpret_cast<BerFreeFn>(getDLLEntryPoint(idxBerFree));
    if (f) f(ber, freebuf);
}

int KoLDAPCallMapper::ldap_set_option(LDAP* ld, int option, const void* invalue) {
    auto f = reinterpret_cast<SetOptionFn>(getDLLEntryPoint(idxSetOption));
    return f ? f(ld, option, invalue) : 1;
}
