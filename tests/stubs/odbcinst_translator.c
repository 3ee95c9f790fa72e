/* A stand-in for unixODBC's installer library whose translator dialog answers as the test says:
 * every other function is unixODBC's own, reached through the real library. unixODBC's own
 * SQLGetTranslator offers no dialog, so the road of a chosen translator cannot be driven otherwise.
 *
 * KO_TEST_TRANSLATOR: "cancel" (the dialog returns FALSE), or "name|path|option" (the user's choice;
 * an empty path is "no translator"). Each call appends what the dialog was opened with, as
 * "name|path|nameMax|pathMax", to the file KO_TEST_TRANSLATOR_SEEN when that is set. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static void* real(const char* name) {
    /* Loaded by its soname: this copy has another, so the system's library answers. */
    static void* library;
    if (!library) library = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_LOCAL);
    return library ? dlsym(library, name) : NULL;
}

#define FORWARD(ret, fail, name, params, args)                                                               \
    EXPORT ret name params {                                                                                 \
        ret(*forward) params = (ret(*) params)real(#name);                                                   \
        return forward ? forward args : fail;                                                                \
    }

FORWARD(int, 0, SQLGetPrivateProfileString,
        (const char* s, const char* k, const char* d, char* b, int n, const char* file),
        (s, k, d, b, n, file))
FORWARD(int, 0, SQLWritePrivateProfileString, (const char* s, const char* k, const char* v, const char* file),
        (s, k, v, file))
FORWARD(int, 0, SQLWriteDSNToIni, (const char* dsn, const char* driver), (dsn, driver))
FORWARD(int, 0, SQLRemoveDSNFromIni, (const char* dsn), (dsn))
FORWARD(int, 0, SQLValidDSN, (const char* dsn), (dsn))

static unsigned short copyOut(char* to, unsigned short max, const char* from, size_t length) {
    if (length > max) length = max;
    memcpy(to, from, length);
    to[length] = 0;
    return (unsigned short)length;
}

EXPORT int SQLGetTranslator(void* window, char* name, unsigned short nameMax, unsigned short* nameOut,
                            char* path, unsigned short pathMax, unsigned short* pathOut,
                            unsigned int* option) {
    (void)window;
    const char* seen = getenv("KO_TEST_TRANSLATOR_SEEN");
    if (seen) {
        FILE* f = fopen(seen, "a");
        if (f) {
            fprintf(f, "%s|%s|%u|%u\n", name, path, nameMax, pathMax);
            fclose(f);
        }
    }
    const char* answer = getenv("KO_TEST_TRANSLATOR");
    if (!answer || strcmp(answer, "cancel") == 0) return 0;
    const char* bar1 = strchr(answer, '|');
    const char* bar2 = bar1 ? strchr(bar1 + 1, '|') : NULL;
    if (!bar2) return 0;
    *nameOut = copyOut(name, nameMax, answer, (size_t)(bar1 - answer));
    *pathOut = copyOut(path, pathMax, bar1 + 1, (size_t)(bar2 - bar1 - 1));
    *option = (unsigned int)strtoul(bar2 + 1, NULL, 10);
    return 1;
}
