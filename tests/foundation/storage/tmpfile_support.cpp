#include "tests/foundation/storage/tmpfile_support.h"
#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace kotest {

NoMoreDescriptors::NoMoreDescriptors() {
    // UndefinedBehaviorSanitizer checks an object's dynamic type the first time it meets it, and the
    // check needs a free descriptor: let it meet an error record while there are some.
    if (KoErrorKeeper::getErrorList()) {
        koRaiseError(koErrSystem);
        KoErrorKeeper::clearLastError();
    }
    getrlimit(RLIMIT_NOFILE, &previous_);
    // The lowest free descriptor is the next one open() would hand out.
    int lowest = fcntl(0, F_DUPFD, 0);
    if (lowest >= 0) close(lowest);
    struct rlimit cap = previous_;
    cap.rlim_cur = rlim_t(lowest >= 0 ? lowest : 0);
    setrlimit(RLIMIT_NOFILE, &cap);
}

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
        n -= 3; // ".", ".." and the directory's own descriptor
    }
    return n;
}

} // namespace kotest
