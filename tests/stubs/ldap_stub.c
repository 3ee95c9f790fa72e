/* A stand-in for an LDAP client library, for what the real one cannot show: a library that lacks
 * functions (STUB_PARTIAL), and one without the option setter. Every call is counted, so a test can
 * tell that nothing was called through a function the binding did not get. */
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static int calls;
static int lastErrorAsked = 12345;

EXPORT int stubCalls(void) {
    return calls;
}
EXPORT int stubLastErrorAsked(void) {
    return lastErrorAsked;
}

EXPORT void* ldap_init(const char* host, int port) {
    ++calls;
    return malloc(16);
}
/* "pw" binds; any other password is refused with the code it names ("-7" gives -7). */
EXPORT int ldap_simple_bind_s(void* ld, const char* who, const char* password) {
    ++calls;
    return password && strcmp(password, "pw") == 0 ? 0 : password ? atoi(password) : 49;
}
EXPORT int ldap_unbind(void* ld) {
    ++calls;
    free(ld);
    return 0;
}
EXPORT int ldap_search_ext_s(void* ld, const char* base, int scope, const char* filter, char** attrs,
                             int attrsonly, void* sc, void* cc, void* timeout, int sizelimit, void** res) {
    ++calls;
    *res = NULL;
    return 32;
}

#ifndef STUB_PARTIAL
EXPORT char* ldap_err2string(int err) {
    static char text[] = "stub error text";
    ++calls;
    lastErrorAsked = err;
    return text;
}
EXPORT char* ldap_first_attribute(void* ld, void* entry, void** ber) {
    ++calls;
    *ber = NULL;
    return NULL;
}
/* The rest find nothing and free nothing. */
#define NOTHING(type, name, ...)                                                                             \
    EXPORT type name(__VA_ARGS__) {                                                                          \
        ++calls;                                                                                             \
        return (type)0;                                                                                      \
    }
NOTHING(void*, ldap_first_entry, void* ld, void* chain)
NOTHING(char*, ldap_next_attribute, void* ld, void* entry, void* ber)
NOTHING(char**, ldap_get_values, void* ld, void* entry, const char* target)
NOTHING(int, ldap_msgfree, void* lm)
EXPORT void ldap_value_free(char** vals) {
    ++calls;
}
EXPORT void ldap_memfree(void* p) {
    ++calls;
}
EXPORT void ber_free(void* ber, int freebuf) {
    ++calls;
}
#endif
