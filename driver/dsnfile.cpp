// The driver reads its data source straight from the files: the installer library's cached profile
// reader is not safe to call from inside a connect that the driver manager is running.
#include "driver/dsnfile.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>

namespace btrdrv {

namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool readSection(const std::string& file, const std::string& name,
                 std::vector<std::pair<std::string, std::string>>* out) {
    std::ifstream in(file);
    if (!in) return false;
    std::string line;
    bool inside = false, found = false;
    while (std::getline(in, line)) {
        std::string t = trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            std::string section =
                trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inside = !strcasecmp(section.c_str(), name.c_str());
            found = found || inside;
            continue;
        }
        size_t eq = t.find('=');
        if (!inside || eq == std::string::npos) continue;
        out->emplace_back(trim(t.substr(0, eq)), trim(t.substr(eq + 1)));
    }
    return found;
}

} // namespace

std::vector<std::pair<std::string, std::string>> dataSourceEntries(const std::string& name) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::string user;
    if (const char* v = std::getenv("ODBCINI"); v && *v)
        user = v;
    else if (const char* home = std::getenv("HOME"))
        user = std::string(home) + "/.odbc.ini";
    if (!user.empty() && readSection(user, name, &entries)) return entries;
    entries.clear();
    const char* sys = std::getenv("ODBCSYSINI");
    readSection(sys && *sys ? std::string(sys) + "/odbc.ini" : std::string("/etc/odbc.ini"), name, &entries);
    return entries;
}

} // namespace btrdrv
