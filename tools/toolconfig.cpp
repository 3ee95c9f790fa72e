// unixODBC's configuration as btrdsn reads it: scopes, data sources, drivers, failure reasons.
#include "tools/toolconfig.h"

#include <odbcinst.h>
#include <sql.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

// unixODBC's own names of its files (exported by its installer library).
extern "C" BOOL _odbcinst_UserINI(char* path, BOOL verify);
extern "C" BOOL _odbcinst_SystemINI(char* path, BOOL verify);
extern "C" char* odbcinst_system_file_path(char* buffer);
extern "C" char* odbcinst_system_file_name(char* buffer);

namespace btrdsn {

namespace {

// A default no stored value equals, told apart per scope: unixODBC answers a repeated read from a
// cache that knows reads only by section, key and default.
const char* absentMark(Scope scope) {
    return scope == Scope::user ? "\x01user" : "\x01system";
}

// Reads "ODBC.INI" of one scope only, then lets the installer search both again.
int readScoped(Scope scope, const char* section, const char* key, char* buffer, int size) {
    SQLSetConfigMode(scope == Scope::user ? ODBC_USER_DSN : ODBC_SYSTEM_DSN);
    int n = SQLGetPrivateProfileString(section, key, absentMark(scope), buffer, size, "ODBC.INI");
    SQLSetConfigMode(ODBC_BOTH_DSN);
    return n;
}

std::vector<std::string> nulList(const char* p) {
    std::vector<std::string> out;
    for (; *p; p += std::strlen(p) + 1)
        out.emplace_back(p);
    return out;
}

} // namespace

ReadLock::ReadLock() {
    std::vector<std::string> files{dataSourceFile(Scope::user)};
    if (dataSourceFile(Scope::system) != files[0]) files.push_back(dataSourceFile(Scope::system));
    for (const std::string& file : files) {
        std::string lock = file + ".lock";
        int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC); // a file this user may not create
        if (fd < 0) continue;                                      // nobody can have locked it
        while (flock(fd, LOCK_SH) != 0 && errno == EINTR) {
        }
        fds_.push_back(fd);
    }
}

ReadLock::~ReadLock() {
    for (int fd : fds_)
        close(fd); // gives the lock back
}

std::string dataSourceFile(Scope scope) {
    char path[4096 + 64] = "";
    if (scope == Scope::user)
        _odbcinst_UserINI(path, 0);
    else
        _odbcinst_SystemINI(path, 0);
    return path;
}

std::string driverFile() {
    char dir[4096 + 64] = "", name[4096 + 64] = "";
    const char* d = odbcinst_system_file_path(dir);
    const char* n = odbcinst_system_file_name(name);
    return std::string(d ? d : dir) + "/" + (n ? n : name);
}

bool findDataSource(const std::string& name, const Scope* only, Location* where) {
    for (Scope scope : {Scope::user, Scope::system}) {
        if (only && *only != scope) continue;
        std::vector<char> sections(65536);
        int n = readScoped(scope, nullptr, nullptr, sections.data(), static_cast<int>(sections.size()));
        if (n <= 0) continue;
        for (const std::string& s : nulList(sections.data())) {
            if (strcasecmp(s.c_str(), name.c_str()) != 0) continue;
            *where = {scope, s, dataSourceFile(scope)};
            return true;
        }
    }
    return false;
}

std::vector<Location> dataSourcesOfDriver(const std::string& driver) {
    std::vector<Location> found;
    for (Scope scope : {Scope::user, Scope::system}) {
        std::vector<char> sections(65536);
        int n = readScoped(scope, nullptr, nullptr, sections.data(), static_cast<int>(sections.size()));
        if (n <= 0) continue;
        for (const std::string& s : nulList(sections.data())) {
            Location where{scope, s, dataSourceFile(scope)};
            if (!strcasecmp(storedValue(where, "Driver").c_str(), driver.c_str())) found.push_back(where);
        }
    }
    return found;
}

std::string storedValue(const Location& where, const std::string& key, bool* found) {
    char value[4096] = "";
    readScoped(where.scope, where.name.c_str(), key.c_str(), value, sizeof value);
    bool there = std::strcmp(value, absentMark(where.scope)) != 0;
    if (found) *found = there;
    return there ? value : "";
}

std::vector<std::string> storedKeys(const Location& where) {
    std::vector<char> keys(65536);
    int n = readScoped(where.scope, where.name.c_str(), nullptr, keys.data(), static_cast<int>(keys.size()));
    if (n <= 0) return {};
    return nulList(keys.data());
}

std::string driverEntry(const std::string& driver, const std::string& key) {
    char value[4096] = "";
    SQLGetPrivateProfileString(driver.c_str(), key.c_str(), "", value, sizeof value, "ODBCINST.INI");
    return value;
}

bool driverRegistered(const std::string& driver) {
    std::vector<char> drivers(65536);
    if (!SQLGetInstalledDrivers(drivers.data(), static_cast<WORD>(drivers.size() - 1), nullptr)) return false;
    for (const std::string& d : nulList(drivers.data()))
        if (strcasecmp(d.c_str(), driver.c_str()) == 0) return true;
    return false;
}

int reportInstallerFailure(const std::string& what, const std::vector<std::string>& args,
                           const std::vector<size_t>& argStarts) {
    std::vector<std::string> reasons;
    for (WORD i = 1; i <= 8; ++i) {
        DWORD code = 0;
        char message[SQL_MAX_MESSAGE_LENGTH + 1] = "";
        WORD length = 0;
        if (SQLInstallerError(i, &code, message, sizeof message, &length) != SQL_SUCCESS) break;
        reasons.emplace_back(message);
    }
    // unixODBC adds generic texts of its own ("General installer error", "General error request
    // failed") that say nothing once the setup module has said why.
    std::vector<std::string> told;
    for (const auto& r : reasons)
        if (r.rfind("General ", 0) != 0) told.push_back(r);
    if (told.empty() && !reasons.empty()) told.push_back(reasons.front());
    for (std::string r : told) {
        // "... in the attribute list at position N." counts bytes of the list the tool built.
        const std::string marker = "Syntax error in the attribute list at position ";
        if (r.rfind(marker, 0) == 0 && !argStarts.empty()) {
            size_t position = std::strtoul(r.c_str() + marker.size(), nullptr, 10);
            for (size_t a = argStarts.size(); a-- > 0;) {
                if (position < argStarts[a]) continue;
                r = "syntax error at character " + std::to_string(position - argStarts[a] + 1) + " of \"" +
                    args[a] + "\"" + r.substr(r.find('.') + 1);
                break;
            }
        }
        std::fprintf(stderr, "btrdsn: %s failed: %s\n", what.c_str(), r.c_str());
    }
    if (told.empty()) std::fprintf(stderr, "btrdsn: %s failed: the installer gave no reason\n", what.c_str());
    return 1;
}

} // namespace btrdsn
