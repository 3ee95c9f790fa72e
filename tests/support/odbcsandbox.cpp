#include "tests/support/odbcsandbox.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <stdexcept>
#include "platform/module.h"

namespace kotest {

namespace {
TempDir& sharedSystemDir() {
    static TempDir dir; // removed when the program ends
    return dir;
}
} // namespace

std::string OdbcSandbox::dir() const {
    return sharedSystemDir().path();
}

OdbcSandbox::OdbcSandbox() {
    for (const char* var : {"ODBCSYSINI", "ODBCINI", "HOME"}) {
        const char* v = std::getenv(var);
        saved_[var] = v ? v : std::string("\x01unset");
    }
    std::string home = temp_.file("home");
    mkdir(home.c_str(), 0700);
    setenv("ODBCSYSINI", dir().c_str(), 1);
    setenv("ODBCINI", odbcIniPath().c_str(), 1);
    setenv("HOME", home.c_str(), 1);
    writeFile(dir() + "/odbc.ini", "");
    writeFile(odbcinstIniPath(), std::string("[") + driverName + "]\nDriver=" + buildLib("ztbtr20.so") +
                                     "\nSetup=" + buildLib("ztbtr20s.so") + "\n");
    writeFile(temp_.file("odbc.ini"), "");
    installer_ = LoadLibraryA("libodbcinst.so.2");
    if (!installer_) throw std::runtime_error("unixODBC's installer library is missing");
}

OdbcSandbox::~OdbcSandbox() {
    FreeLibrary(installer_);
    for (auto& [var, value] : saved_) {
        if (value == "\x01unset")
            unsetenv(var.c_str());
        else
            setenv(var.c_str(), value.c_str(), 1);
    }
}

BOOL OdbcSandbox::configDataSource(WORD request, const std::string& driver, const std::string& attributes,
                                   HWND window) {
    auto f = reinterpret_cast<BOOL (*)(HWND, WORD, LPCSTR, LPCSTR)>(
        GetProcAddress(installer_, "SQLConfigDataSource"));
    return f(window, request, driver.c_str(), attributes.c_str());
}

BOOL OdbcSandbox::writeString(const std::string& section, const std::string& key, const std::string& value) {
    auto f = reinterpret_cast<BOOL (*)(LPCSTR, LPCSTR, LPCSTR, LPCSTR)>(
        GetProcAddress(installer_, "SQLWritePrivateProfileString"));
    return f(section.c_str(), key.c_str(), value.c_str(), "ODBC.INI");
}

std::string OdbcSandbox::getString(const std::string& section, const std::string& key) {
    auto f = reinterpret_cast<int (*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR)>(
        GetProcAddress(installer_, "SQLGetPrivateProfileString"));
    char buffer[4096] = "";
    int n = f(section.c_str(), key.c_str(), "\x01none", buffer, sizeof buffer, "ODBC.INI");
    if (n < 0) return "\x01none";
    return std::string(buffer);
}

std::string OdbcSandbox::installerError() {
    auto f = reinterpret_cast<SQLRETURN (*)(WORD, DWORD*, LPSTR, WORD, WORD*)>(
        GetProcAddress(installer_, "SQLInstallerError"));
    DWORD code = 0;
    char message[1024] = "";
    WORD length = 0;
    if (f(1, &code, message, sizeof message, &length) != SQL_SUCCESS) return "";
    return message;
}

std::map<std::string, std::vector<std::pair<std::string, std::string>>> OdbcSandbox::readOdbcIni() const {
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> ini;
    std::ifstream in(odbcIniPath());
    std::string line, section;
    auto trim = [](std::string s) {
        size_t a = s.find_first_not_of(" \t\r");
        size_t b = s.find_last_not_of(" \t\r");
        return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
    };
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            ini[section];
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        ini[section].emplace_back(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return ini;
}

std::string OdbcSandbox::storedValue(const std::string& dsn, const std::string& key) const {
    auto ini = readOdbcIni();
    for (auto& [k, v] : ini[dsn])
        if (k == key) return v;
    return "<absent>";
}

std::string attributeList(std::initializer_list<std::string> entries) {
    std::string list;
    for (const auto& e : entries) {
        list += e;
        list += '\0';
    }
    list += '\0';
    return list;
}

} // namespace kotest
