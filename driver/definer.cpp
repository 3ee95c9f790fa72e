// Stand-in for the driver library's file definer: records the call so tests can see it arrived.
#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) int
BringUpDefiner(const char* directory, const char* fileName, const char* driverDesc, int flags) {
    // A test names a file in KO_DEFINER_LOG to observe the call; without it the definer does nothing.
    if (const char* log = std::getenv("KO_DEFINER_LOG")) {
        if (FILE* f = std::fopen(log, "a")) {
            std::fprintf(f, "%s|%s|%s|%d\n", directory ? directory : "", fileName ? fileName : "",
                         driverDesc ? driverDesc : "", flags);
            std::fclose(f);
        }
    }
    return 0;
}
