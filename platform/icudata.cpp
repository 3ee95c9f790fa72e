#include "platform/icudata.h"

#include <unicode/putil.h>
#include <unicode/utypes.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <mutex>
#include <string>

namespace {

std::once_flag once;
std::string chosen;

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder of the file (shared module or program) that holds this code.
std::string ownFolder() {
    Dl_info info;
    if (!dladdr(reinterpret_cast<const void*>(&koUseConverterData), &info) || !info.dli_fname) return "";
    char* real = realpath(info.dli_fname, nullptr);
    std::string path = real ? real : info.dli_fname;
    free(real);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string findDirectory() {
    if (const char* env = getenv("KO_ICU_DATA"); env && *env) return env;
    std::string folder = ownFolder();
    if (folder.empty()) return "";
    for (const char* candidate : {"/icu", "/../lib/icu"}) {
        std::string dir = folder + candidate;
        if (isDirectory(dir + "/" U_ICUDATA_NAME)) return dir;
    }
    return "";
}

void addDirectory() {
    chosen = findDirectory();
    if (chosen.empty()) return;
    // ICU's own path (ICU_DATA or the built-in one) keeps precedence; ours only adds names.
    const char* current = u_getDataDirectory();
    std::string path = current && *current ? std::string(current) + U_PATH_SEP_STRING + chosen : chosen;
    u_setDataDirectory(path.c_str());
}

// At load time, before the host's threads can be opening converters: ICU's data path is not guarded.
struct AtLoad {
    AtLoad() { koUseConverterData(); }
} atLoad;

} // namespace

void koUseConverterData() {
    std::call_once(once, addDirectory);
}

const char* koConverterDataDir() {
    koUseConverterData();
    return chosen.c_str();
}
