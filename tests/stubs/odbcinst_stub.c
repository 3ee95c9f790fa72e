/* A stand-in for unixODBC's installer library, for tests that need what the real one cannot give:
 * copies of chosen versions, or a copy without SQLGetTranslator. Every function answers with the
 * stand-in's own file path, so a test can tell which copy was chosen. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static const char* selfPath(void) {
    Dl_info info;
    return dladdr((void*)&selfPath, &info) && info.dli_fname ? info.dli_fname : "?";
}

EXPORT int SQLGetPrivateProfileString(const char* section, const char* key, const char* dflt, char* buffer,
                                      int size, const char* file) {
    (void)section;
    (void)key;
    (void)dflt;
    (void)file;
    const char* p = selfPath();
    int n = (int)strlen(p);
    if (n >= size) n = size - 1;
    memcpy(buffer, p, (size_t)n);
    buffer[n] = 0;
    return n;
}

EXPORT int SQLWritePrivateProfileString(const char* s, const char* k, const char* v, const char* f) {
    (void)s;
    (void)k;
    (void)v;
    (void)f;
    return 1;
}
EXPORT int SQLWriteDSNToIni(const char* dsn, const char* driver) {
    (void)dsn;
    (void)driver;
    return 1;
}
EXPORT int SQLRemoveDSNFromIni(const char* dsn) {
    (void)dsn;
    return 1;
}
EXPORT int SQLValidDSN(const char* dsn) {
    return dsn && *dsn;
}

#ifndef STUB_WITHOUT_TRANSLATOR
EXPORT int SQLGetTranslator(void* w, char* n, unsigned short nm, unsigned short* no, char* p,
                            unsigned short pm, unsigned short* po, unsigned int* opt) {
    (void)w;
    (void)n;
    (void)nm;
    (void)no;
    (void)p;
    (void)pm;
    (void)po;
    (void)opt;
    return 1;
}
#endif
