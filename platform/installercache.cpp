// unixODBC's installer answers repeated profile reads from a cache of its own that does not look at
// the file again for some seconds, and only its own writes clear it. After the registry's ODBC keys
// changed the files behind its back, a harmless write of its own (deleting a section of a scratch file
// of ours) makes the installer forget what it answered, so the change reads back at once through it too.
#include "platform/regstore.h"
#include "platform/safefile.h"
#include "platform/system.h"

#include <dlfcn.h>

void koForgetInstallerAnswers() {
    // Only an installer this process already uses can hold answers.
    void* installer = dlopen("libodbcinst.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!installer) return;
    typedef int (*WriteFn)(const char*, const char*, const char*, const char*);
    auto write = reinterpret_cast<WriteFn>(dlsym(installer, "SQLWritePrivateProfileString"));
    if (write) {
        std::string scratch = koFolderOf(koRegRootFile(KoRegRoot::user)) + "/installer-cache.ini";
        if (koMakeFolders(koFolderOf(scratch)) == ERROR_SUCCESS)
            write("ztbtr20", nullptr, nullptr, scratch.c_str());
    }
    dlclose(installer);
}
