/* A stand-in for an LDAP client library, for what the real one cannot show: a library that lacks
 * functions, and one without the option setter. Every call is counted, so a test can tell that
 * nothing was called through a function the binding did not get. */
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
    (void)host;
    (void)port;
    ++calls;
    return malloc(16);
}
/* "pw" binds; any other password is refused with the code the password names ("-7" gives -7). */
EXPORT int ldap_simple_bind_s(void* ld, const char* who, const char* password) {
    (void)ld;
    (void)who;
    ++calls;
    if (password && strcmp(password, "pw") == 0) return 0;
    return password ? atoi(password) : 49;
}
EXPORT int ldap_unbind(void* ld) {
    ++calls;
    free(ld);
    return 0;
}
EXPORT int ldap_search_ext_s(void* ld, const char* base, int scope, const char* filter, char** attrs,
                             int attrsonly, void* sc, void* cc, void* timeout, int sizelimit, void** res) {
    (void)ld, (void)base, (void)scope, (void)filter, (void)attrs, (void)attrsonly, (void)sc, (void)cc;
    (void)timeout, (void)sizelimit;
    ++calls;
    *res = NULL;
    return 32;
}

#ifndef STUB_PARTIAL
EXPORT void* ldap_first_entry(void* ld, void* chain) {
    (void)ld, (void)chain;
    ++calls;
    return NULL;
}
EXPORT char* ldap_err2string(int err) {
    static char text[64];
    ++calls;
    lastErrorAsked = err;
    strcpy(text, "stub error text");
    return text;
}
EXPORT char* ldap_first_attribute(void* ld, void* entry, void** ber) {
    (void)ld, (void)entry;
    ++calls;
    *ber = NULL;
    return NULL;
}
EXPORT char* ldap_next_attribute(void* ld, void* entry, void* ber) {
    (void)ld, (void)entry, (void)ber;
    ++calls;
    return NULL;
}
EXPORT char** ldap_get_values(void* ld, void* entry, const char* target) {
    (void)ld, (void)entry, (void)target;
    ++calls;
    return NULL;
}
EXPORT void ldap_value_free(char** vals) {
    (void)vals;
    ++calls;
}
EXPORT void ldap_memfree(void* p) {
    (void)p;
    ++calls;
}
EXPORT int ldap_msgfree(void* lm) {
    (void)lm;
    ++calls;
    return 0;
}
EXPORT void ber_free(void* ber, int freebuf) {
    (void)ber, (void)freebuf;
    ++calls;
}
#endif
