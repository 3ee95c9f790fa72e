// btrdsn: registers the Btrieve ODBC driver with unixODBC and adds, configures, removes and shows its
// data sources through the installer (SQLConfigDataSource loads the driver's setup module and calls
// its ConfigDSN), so nobody has to edit odbc.ini by hand. Every refusal says why.
#include <odbcinst.h>
#include <sql.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include "tools/toolattrs.h"
#include "tools/toolconfig.h"
#include "tools/tooltest.h"

using namespace btrdsn;

namespace {

const char kDriver[] = "ODBC Btrieve Driver";

void usage(FILE* out) {
    std::fputs("usage: btrdsn COMMAND [OPTIONS] [ARGUMENTS]\n"
               "\n"
               "  install [--system] [--help-dir DIR] [LIBDIR]\n"
               "                                 register \"ODBC Btrieve Driver\" in the system's\n"
               "                                 odbcinst.ini, with the driver and setup modules of\n"
               "                                 LIBDIR (default: the lib folder beside this program,\n"
               "                                 else the installed modules' folder) and the help in\n"
               "                                 DIR (default: KO_HELP_DIR, else the source tree's help/\n"
               "                                 for a build tree, else the installed help)\n"
               "  uninstall [--system] [--force] remove that registration; refused while data sources\n"
               "                                 use the driver, unless --force is given\n"
               "  add KEY=VALUE ...              add a data source (DSN=name is required, but for\n"
               "                                 --dialog, where it can be typed)\n"
               "  configure KEY=VALUE ...        change an existing data source; attributes not given\n"
               "                                 are kept\n"
               "  remove NAME                    remove a data source\n"
               "  show NAME                      print a data source's stored attributes and its file\n"
               "  test NAME                      connect to a data source and disconnect; each\n"
               "                                 diagnostic record goes to standard error\n"
               "  --help                         this text\n"
               "\n"
               "Options of add, configure, remove and show:\n"
               "  --user      a user data source (the default for add)\n"
               "  --system    a system data source\n"
               "              (configure, remove and show act where the data source lives: the user's\n"
               "              file first; these options restrict the search)\n"
               "  --replace   add or configure a data source that belongs to another driver\n"
               "  -d DRIVER   the driver description, \"ODBC Btrieve Driver\" by default\n"
               "  --dialog    (add, configure) edit the data source in the setup dialog, on this\n"
               "              terminal or from a script (KO_UI=script); nothing is written unless\n"
               "              the dialog is confirmed\n"
               "\n"
               "Keywords (either spelling, any case): Description, Database (DB), UndefinedTable (UT:\n"
               "PROMPT or ERROR), DataFileExtension (DFE), FileOpenCache (FOC: 0-99999), UseLongQualifiers\n"
               "(ULQ: 0 or 1), LogonID (UID), IntlSort (IS: 0 or 1), ArraySize (AS: 1-99999),\n"
               "ApplicationUsingThreads (AUT: 0 or 1). The configuration files are unixODBC's: ODBCSYSINI\n"
               "and ODBCINI choose them as usual.\n"
               "\n"
               "Environment: ODBCSYSINI, ODBCINI (unixODBC's files), KO_UI (terminal, script or none),\n"
               "KO_HELP_DIR (the help folder install registers),\n"
               "KO_UI_SCRIPT and KO_UI_TRANSCRIPT (the script front end), KO_ANSI_CODEPAGE.\n"
               "Exit status: 0 success; 1 the request failed or was refused (one line on standard error\n"
               "says why); 2 the command line is wrong. See btrdsn(1).\n",
               out);
}

struct Options {
    bool user = false, system = false, replace = false, dialog = false;
    std::string driver = kDriver;
    std::vector<std::string> rest;
};

// Splits the options from the other arguments; false (after saying why) on a bad option.
bool parseOptions(const char* what, int argc, char** argv, Options* o) {
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--user") {
            o->user = true;
        } else if (a == "--system") {
            o->system = true;
        } else if (a == "--replace") {
            o->replace = true;
        } else if (a == "--dialog" && (!std::strcmp(what, "add") || !std::strcmp(what, "configure"))) {
            o->dialog = true;
        } else if (a == "-d" || a == "--driver") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "btrdsn: %s: %s needs a driver description\n", what, a.c_str());
                return false;
            }
            o->driver = argv[++i];
        } else if (a.size() > 1 && a[0] == '-' && a.find('=') == std::string::npos) {
            std::fprintf(stderr, "btrdsn: %s: unknown option \"%s\"\n", what, a.c_str());
            return false;
        } else {
            o->rest.push_back(a);
        }
    }
    if (o->user && o->system) {
        std::fprintf(stderr, "btrdsn: %s: give --user or --system, not both\n", what);
        return false;
    }
    return true;
}

const char* scopeName(Scope s) {
    return s == Scope::user ? "user" : "system";
}

int refuse(const char* what, const std::string& reason) {
    std::fprintf(stderr, "btrdsn: %s failed: %s\n", what, reason.c_str());
    return 1;
}

// Says how to register a driver that is not registered; true when it is.
bool requireDriver(const char* what, const std::string& driver) {
    if (driverRegistered(driver)) return true;
    std::string how = driver == kDriver
                          ? "register it with \"btrdsn install\""
                          : "register it with \"odbcinst -i -d\" or give its description with -d";
    refuse(what, "the driver \"" + driver + "\" is not registered in " + driverFile() + "; " + how);
    return false;
}

// A data source of another driver keeps attributes this driver's setup would drop.
bool ownedByDriver(const char* what, const Location& where, const Options& o) {
    std::string owner = storedValue(where, "Driver");
    if (owner.empty() || !strcasecmp(owner.c_str(), o.driver.c_str()) || o.replace) return true;
    refuse(what, "the data source \"" + where.name + "\" belongs to the driver \"" + owner +
                     "\"; its attributes would be lost (give --replace to do it anyway)");
    return false;
}

// The modules' folder: the lib folder beside this program's folder in a build tree, else the
// folder the modules are installed to.
std::string defaultLibDir() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        std::string dir(exe);
        dir = dir.substr(0, dir.rfind('/'));                      // .../bin
        std::string lib = dir.substr(0, dir.rfind('/')) + "/lib"; // .../lib
        if (access((lib + "/ztbtr20s.so").c_str(), R_OK) == 0) return lib;
    }
#ifdef KO_INSTALL_MODULE_DIR
    return KO_INSTALL_MODULE_DIR;
#else
    return ".";
#endif
}

// The help folder to register: --help-dir, else KO_HELP_DIR, else the source tree's help/ for a
// program of a build tree, else the installed help. explicitChoice tells whether the user named it.
std::string defaultHelpDir(const std::string& given, bool* explicitChoice) {
    *explicitChoice = true;
    if (!given.empty()) return given;
    if (const char* env = std::getenv("KO_HELP_DIR"); env && *env) return env;
    *explicitChoice = false;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        std::string dir(exe);
        dir = dir.substr(0, dir.rfind('/'));
        std::string lib = dir.substr(0, dir.rfind('/')) + "/lib";
#ifdef KO_SOURCE_HELP_DIR
        if (access((lib + "/ztbtr20s.so").c_str(), R_OK) == 0) return KO_SOURCE_HELP_DIR;
#endif
    }
#ifdef KO_INSTALL_HELP_DIR
    return KO_INSTALL_HELP_DIR;
#else
    return "";
#endif
}

// Registers the driver's help folder ("HelpRootDirectory"), which the setup dialogs' Help opens.
// False after saying why when it cannot be registered.
bool registerHelp(const std::string& given) {
    bool explicitChoice = false;
    std::string dir = defaultHelpDir(given, &explicitChoice);
    char real[PATH_MAX];
    if (dir.empty() || !realpath(dir.c_str(), real) ||
        access((std::string(real) + "/help.htm").c_str(), R_OK) != 0) {
        if (explicitChoice) {
            std::fprintf(stderr, "btrdsn: install failed: no help.htm in the help folder %s\n", dir.c_str());
            return false;
        }
        std::fprintf(stderr, "btrdsn: the driver's help is not installed (%s); Help will say so\n",
                     dir.empty() ? "no help folder" : dir.c_str());
        return true;
    }
    if (driverEntry(kDriver, "HelpRootDirectory") == real) return true;
    if (!SQLWritePrivateProfileString(kDriver, "HelpRootDirectory", real, "ODBCINST.INI")) {
        reportInstallerFailure("install");
        return false;
    }
    return true;
}

// Drivers are registered for the whole system, as "odbcinst -i -d" does; --system says so.
bool driverScopeOptions(const char* what, int* argc, char*** argv, bool* force,
                        std::string* helpDir = nullptr) {
    while (*argc > 0 && (*argv)[0][0] == '-') {
        std::string option = (*argv)[0];
        if (option == "--system") {
        } else if (option == "--force" && force) {
            *force = true;
        } else if (option == "--help-dir" && helpDir) {
            if (*argc < 2) {
                std::fprintf(stderr, "btrdsn: %s: --help-dir needs a folder\n", what);
                return false;
            }
            *helpDir = (*argv)[1];
            --*argc;
            ++*argv;
        } else if (option == "--user") {
            std::fprintf(stderr,
                         "btrdsn: %s: drivers are registered for the whole system (odbcinst.ini); "
                         "--user applies to data sources\n",
                         what);
            return false;
        } else {
            std::fprintf(stderr, "btrdsn: %s: unknown option %s\n", what, option.c_str());
            return false;
        }
        --*argc;
        ++*argv;
    }
    return true;
}

int install(int argc, char** argv) {
    std::string helpDir;
    if (!driverScopeOptions("install", &argc, &argv, nullptr, &helpDir) || argc > 1) {
        if (argc > 1) usage(stderr);
        return 2;
    }
    std::string dir = argc > 0 ? argv[0] : defaultLibDir();
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
    std::string driverPath = lib + "/ztbtr20.so", setupPath = lib + "/ztbtr20s.so";
    if (driverRegistered(kDriver)) {
        // Registering again must not raise the usage count: only the paths are brought up to date.
        if (driverEntry(kDriver, "Driver") == driverPath && driverEntry(kDriver, "Setup") == setupPath) {
            if (!registerHelp(helpDir)) return 1;
            std::printf("\"%s\" is already installed (%s)\n", kDriver, driverPath.c_str());
            return 0;
        }
        if (!SQLWritePrivateProfileString(kDriver, "Driver", driverPath.c_str(), "ODBCINST.INI") ||
            !SQLWritePrivateProfileString(kDriver, "Setup", setupPath.c_str(), "ODBCINST.INI"))
            return reportInstallerFailure("install");
        if (!registerHelp(helpDir)) return 1;
        std::printf("updated \"%s\" (%s, setup %s)\n", kDriver, driverPath.c_str(), setupPath.c_str());
        return 0;
    }
    std::string entry = std::string(kDriver) + '\0' + "Driver=" + driverPath + '\0' + "Setup=" + setupPath +
                        '\0' + "APILevel=1" + '\0' + "ConnectFunctions=YNN" + '\0' + "FileUsage=1" + '\0' +
                        '\0';
    char pathOut[PATH_MAX];
    WORD pathLength = 0;
    DWORD usageCount = 0;
    // unixODBC takes a path given here as the folder of odbcinst.ini itself: pass none.
    if (!SQLInstallDriverEx(entry.c_str(), nullptr, pathOut, sizeof pathOut, &pathLength,
                            ODBC_INSTALL_COMPLETE, &usageCount))
        return reportInstallerFailure("install");
    if (!registerHelp(helpDir)) return 1;
    std::printf("installed \"%s\" (%s, setup %s)\n", kDriver, driverPath.c_str(), setupPath.c_str());
    return 0;
}

int uninstall(int argc, char** argv) {
    bool force = false;
    if (!driverScopeOptions("uninstall", &argc, &argv, &force)) return 2;
    if (argc != 0) {
        usage(stderr);
        return 2;
    }
    if (!driverRegistered(kDriver)) {
        // As "odbcinst -u -d" does, a registration that is not there is no failure.
        std::printf("\"%s\" is not installed in %s\n", kDriver, driverFile().c_str());
        return 0;
    }
    // A registration removed under its data sources would leave them naming a driver that is gone.
    std::vector<Location> users = dataSourcesOfDriver(kDriver);
    if (!users.empty() && !force) {
        std::string names;
        for (const Location& l : users)
            names += (names.empty() ? "" : ", ") + l.name;
        refuse("uninstall", std::to_string(users.size()) + " data source(s) still use the driver (" + names +
                                "); remove them first, or give --force");
        return 1;
    }
    DWORD usageCount = 0;
    if (!SQLRemoveDriver(kDriver, 0, &usageCount)) return reportInstallerFailure("uninstall");
    if (usageCount > 0)
        std::printf("\"%s\" is still used by %u other installations; its registration stays\n", kDriver,
                    unsigned(usageCount));
    else
        std::printf("uninstalled \"%s\"\n", kDriver);
    return 0;
}

// add and configure.
int writeDataSource(bool add, int argc, char** argv) {
    const char* what = add ? "add" : "configure";
    Options o;
    if (!parseOptions(what, argc, argv, &o)) return 2;
    Attributes attrs;
    std::string error;
    // add --dialog may leave the name to the person at the dialog.
    bool nameFromDialog =
        add && o.dialog && std::none_of(o.rest.begin(), o.rest.end(), [](const std::string& a) {
            return !strncasecmp(a.c_str(), "DSN=", 4);
        });
    std::vector<std::string> checked = o.rest;
    if (nameFromDialog) checked.push_back("DSN=typed");
    if (!checkAttributes(checked, &attrs, &error)) {
        std::fprintf(stderr, "btrdsn: %s: %s\n", what, error.c_str());
        return 2;
    }
    if (nameFromDialog) {
        attrs.entries.pop_back();
        attrs.dsn.clear();
    }
    for (const auto& w : attrs.warnings)
        std::fprintf(stderr, "btrdsn: %s: warning: %s\n", what, w.c_str());
    if (!requireDriver(what, o.driver)) return 1;
    // The setup module shows its dialog through KO_UI's front end, the terminal when it is unset.
    const char* ui = std::getenv("KO_UI");
    if (o.dialog && (!ui || !*ui) && !(isatty(0) && isatty(1))) {
        std::fprintf(stderr, "btrdsn: %s: --dialog needs a terminal on standard input and output\n", what);
        return 2;
    }

    Scope forced = o.system ? Scope::system : Scope::user;
    Location where;
    bool exists = false;
    {
        ReadLock lock;
        exists = !nameFromDialog &&
                 findDataSource(attrs.dsn, (add || o.user || o.system) ? &forced : nullptr, &where);
        if (!add && !exists) return refuse(what, "no data source named \"" + attrs.dsn + "\"");
        if (exists && !ownedByDriver(what, where, o)) return 1;
    }
    Scope scope = exists ? where.scope : forced;

    // The name keeps the spelling it is stored under; the installer would rename the section.
    std::string list;
    std::vector<size_t> starts;
    for (std::string e : attrs.entries) {
        if (exists && !strncasecmp(e.c_str(), "DSN=", 4)) e = e.substr(0, 4) + where.name;
        starts.push_back(list.size());
        list += e;
        list += '\0';
    }
    list += '\0';
    WORD request = add ? (scope == Scope::system ? ODBC_ADD_SYS_DSN : ODBC_ADD_DSN)
                       : (scope == Scope::system ? ODBC_CONFIG_SYS_DSN : ODBC_CONFIG_DSN);
    // Any window value makes the setup module run its dialog, through the process's front end.
    std::vector<Location> before;
    if (o.dialog) before = dataSourcesOfDriver(o.driver);
    static int dialogOwner;
    HWND window = o.dialog ? reinterpret_cast<HWND>(&dialogOwner) : nullptr;
    if (!SQLConfigDataSource(window, request, o.driver.c_str(), list.c_str())) {
        // A dialog that was cancelled fails without a reason: the person knows why.
        DWORD code = 0;
        char message[2];
        WORD length = 0;
        if (o.dialog && SQLInstallerError(1, &code, message, sizeof message, &length) == SQL_NO_DATA) {
            std::fprintf(stderr, "btrdsn: %s: cancelled; nothing was written\n", what);
            return 1;
        }
        return reportInstallerFailure(what, o.rest, starts);
    }
    std::string name = exists ? where.name : attrs.dsn;
    bool renamed = false;
    if (o.dialog && exists) {
        // The dialog may have given the data source a new name: the old one is gone then.
        ReadLock lock;
        Location now;
        renamed = !findDataSource(where.name, &where.scope, &now);
    }
    if (nameFromDialog || renamed) {
        // The name typed in the dialog: the data source that was not there before.
        for (const Location& l : dataSourcesOfDriver(o.driver))
            if (std::none_of(before.begin(), before.end(), [&l](const Location& b) {
                    return b.scope == l.scope && !strcasecmp(b.name.c_str(), l.name.c_str());
                }))
                name = l.name;
    }
    std::printf("%s \"%s\" (%s data source in %s)\n", add ? "added" : "configured", name.c_str(),
                scopeName(scope), dataSourceFile(scope).c_str());
    return 0;
}

// The one name of remove and show: NAME or DSN=NAME.
bool oneName(const char* what, const Options& o, std::string* name) {
    if (o.rest.size() != 1) {
        std::fprintf(stderr, "btrdsn: %s: give one data source name\n", what);
        return false;
    }
    *name = o.rest[0];
    if (!strncasecmp(name->c_str(), "DSN=", 4)) *name = name->substr(4);
    return true;
}

int removeDataSource(int argc, char** argv) {
    Options o;
    std::string name;
    if (!parseOptions("remove", argc, argv, &o) || !oneName("remove", o, &name)) return 2;
    Scope forced = o.system ? Scope::system : Scope::user;
    Location where;
    bool found = false;
    {
        ReadLock lock;
        found = findDataSource(name, (o.user || o.system) ? &forced : nullptr, &where);
    }
    if (!found) {
        // As "odbcinst -u -s" does, removing what is not there is no failure; but it is said.
        std::printf("no data source named \"%s\"; nothing removed\n", name.c_str());
        return 0;
    }
    if (!requireDriver("remove", o.driver)) return 1;
    std::string list = "DSN=" + where.name + '\0' + '\0';
    WORD request = where.scope == Scope::system ? ODBC_REMOVE_SYS_DSN : ODBC_REMOVE_DSN;
    // Any window value makes the setup module run its dialog, through the process's front end.
    static int dialogOwner;
    HWND window = o.dialog ? reinterpret_cast<HWND>(&dialogOwner) : nullptr;
    if (!SQLConfigDataSource(window, request, o.driver.c_str(), list.c_str()))
        return reportInstallerFailure("remove");
    std::printf("removed \"%s\" (%s data source in %s)\n", where.name.c_str(), scopeName(where.scope),
                where.file.c_str());
    return 0;
}

int showDataSource(int argc, char** argv) {
    Options o;
    std::string name;
    if (!parseOptions("show", argc, argv, &o) || !oneName("show", o, &name)) return 2;
    Scope forced = o.system ? Scope::system : Scope::user;
    Location where;
    ReadLock lock;
    if (!findDataSource(name, (o.user || o.system) ? &forced : nullptr, &where)) {
        std::fprintf(stderr, "btrdsn: no data source named \"%s\"\n", name.c_str());
        return 1;
    }
    std::printf("; %s data source in %s\n", scopeName(where.scope), where.file.c_str());
    std::printf("[%s]\n", where.name.c_str());
    for (const std::string& key : storedKeys(where))
        std::printf("%s=%s\n", key.c_str(), storedValue(where, key).c_str());
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
    if (command == "uninstall") return uninstall(rest, args);
    if (command == "add") return writeDataSource(true, rest, args);
    if (command == "configure") return writeDataSource(false, rest, args);
    if (command == "remove") return removeDataSource(rest, args);
    if (command == "show") return showDataSource(rest, args);
    if (command == "test") return testDataSource(rest, args);
    std::fprintf(stderr, "btrdsn: unknown command \"%s\"\n", command.c_str());
    usage(stderr);
    return 2;
}
