// btrdsn: registers the Btrieve ODBC driver with unixODBC and adds, configures, removes and shows its
// data sources through the installer (SQLConfigDataSource loads the driver's setup module and calls
// its ConfigDSN), so nobody has to edit odbc.ini by hand.
#include <odbcinst.h>
#include <sql.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kDriver[] = "ODBC Btrieve Driver";

void usage(FILE* out) {
    std::fputs("usage: btrdsn COMMAND [ARGUMENTS]\n"
               "\n"
               "  install [LIBDIR]                     register \"ODBC Btrieve Driver\" in odbcinst.ini,\n"
               "                                       with the driver and setup modules of LIBDIR\n"
               "                                       (default: the lib folder beside this program)\n"
               "  add [-d DRIVER] KEY=VALUE ...        add a data source (DSN=name is required)\n"
               "  configure [-d DRIVER] KEY=VALUE ...  change a data source; attributes not given are kept\n"
               "  remove [-d DRIVER] DSN               remove a data source\n"
               "  show DSN                             print a data source's stored attributes\n"
               "  --help                               this text\n"
               "\n"
               "DRIVER is the driver description, \"ODBC Btrieve Driver\" by default. The configuration\n"
               "files are unixODBC's: ODBCSYSINI and ODBCINI choose them as usual.\n",
               out);
}

// Reports the installer's own reason for the last failure and gives the exit code.
int installerFailure(const char* what) {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH + 1] = "";
    WORD length = 0;
    bool any = false;
    for (WORD i = 1; i <= 8; ++i) {
        if (SQLInstallerError(i, &code, message, sizeof message, &length) != SQL_SUCCESS) break;
        std::fprintf(stderr, "btrdsn: %s failed: %s (installer error %u)\n", what, message, unsigned(code));
        any = true;
    }
    if (!any) std::fprintf(stderr, "btrdsn: %s failed: the installer gave no reason\n", what);
    return 1;
}

std::string libDirBesideProgram() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return ".";
    exe[n] = 0;
    std::string dir(exe);
    dir = dir.substr(0, dir.rfind('/'));           // .../bin
    return dir.substr(0, dir.rfind('/')) + "/lib"; // .../lib
}

int install(int argc, char** argv) {
    std::string dir = argc > 0 ? argv[0] : libDirBesideProgram();
    char real[PATH_MAX];
    if (!realpath(dir.c_str(), real)) {
        std::fprintf(stderr, "btrdsn: no such folder: %s\n", dir.c_str());
        return 1;
    }
    std::string lib(real);
    for (const char* module : {"ztbtr20.so", "ztbtr20s.so", "ztbtr20R.so"})
        if (access((lib + "/" + module).c_str(), R_OK) != 0) {
            std::fprintf(stderr, "btrdsn: %s/%s is missing; build the project first\n", lib.c_str(), module);
            return 1;
        }
    std::string entry = std::string(kDriver) + '\0' + "Driver=" + lib + "/ztbtr20.so" + '\0' +
                        "Setup=" + lib + "/ztbtr20s.so" + '\0' + "APILevel=1" + '\0' +
                        "ConnectFunctions=YNN" + '\0' + "FileUsage=1" + '\0' + '\0';
    char pathOut[PATH_MAX];
    WORD pathLength = 0;
    DWORD usageCount = 0;
    // unixODBC takes a path given here as the folder of odbcinst.ini itself: pass none.
    if (!SQLInstallDriverEx(entry.c_str(), nullptr, pathOut, sizeof pathOut, &pathLength,
                            ODBC_INSTALL_COMPLETE, &usageCount))
        return installerFailure("install");
    std::printf("installed \"%s\" (%s/ztbtr20.so, setup %s/ztbtr20s.so)\n", kDriver, lib.c_str(),
                lib.c_str());
    return 0;
}

// add, configure, remove: [-d DRIVER] then attributes.
int configure(WORD request, const char* what, int argc, char** argv) {
    std::string driver = kDriver;
    int i = 0;
    if (i + 1 < argc && (!std::strcmp(argv[i], "-d") || !std::strcmp(argv[i], "--driver"))) {
        driver = argv[i + 1];
        i += 2;
    }
    std::string list;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (request == ODBC_REMOVE_DSN && a.find('=') == std::string::npos) a = "DSN=" + a;
        if (a.find('=') == std::string::npos) {
            std::fprintf(stderr, "btrdsn: %s: expected KEY=VALUE, got \"%s\"\n", what, argv[i]);
            return 2;
        }
        list += a;
        list += '\0';
    }
    if (list.find("DSN=") == std::string::npos && list.find("dsn=") == std::string::npos) {
        std::fprintf(stderr, "btrdsn: %s: no data source named (DSN=...)\n", what);
        return 2;
    }
    list += '\0';
    if (!SQLConfigDataSource(nullptr, request, driver.c_str(), list.c_str())) return installerFailure(what);
    return 0;
}

int show(int argc, char** argv) {
    if (argc != 1) {
        usage(stderr);
        return 2;
    }
    const char* dsn = argv[0];
    std::vector<char> keys(65536);
    int n =
        SQLGetPrivateProfileString(dsn, nullptr, "", keys.data(), static_cast<int>(keys.size()), "ODBC.INI");
    if (n <= 0 || keys[0] == 0) {
        std::fprintf(stderr, "btrdsn: no data source named \"%s\"\n", dsn);
        return 1;
    }
    std::printf("[%s]\n", dsn);
    for (const char* k = keys.data(); *k; k += std::strlen(k) + 1) {
        char value[4096] = "";
        SQLGetPrivateProfileString(dsn, k, "", value, sizeof value, "ODBC.INI");
        std::printf("%s=%s\n", k, value);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string command = argv[1];
    int rest = argc - 2;
    char** args = argv + 2;
    if (command == "install") return install(rest, args);
    if (command == "add") return configure(ODBC_ADD_DSN, "add", rest, args);
    if (command == "configure") return configure(ODBC_CONFIG_DSN, "configure", rest, args);
    if (command == "remove") return configure(ODBC_REMOVE_DSN, "remove", rest, args);
    if (command == "show") return show(rest, args);
    std::fprintf(stderr, "btrdsn: unknown command \"%s\"\n", command.c_str());
    usage(stderr);
    return 2;
}
