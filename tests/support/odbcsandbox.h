#pragma once
// A private unixODBC configuration for one test: ODBCSYSINI, ODBCINI and HOME point into a temporary
// folder whose odbcinst.ini registers the built driver, and the real installer library is reached
// through the platform layer, so nothing of the machine's own configuration is read or written.
#include <map>
#include <string>
#include <vector>
#include "platform/types.h"
#include "tests/support/support.h"

namespace kotest {

class OdbcSandbox {
public:
    static constexpr const char* driverName = "ODBC Btrieve Driver";

    OdbcSandbox();
    ~OdbcSandbox();

    // The folder of odbcinst.ini (ODBCSYSINI). unixODBC reads ODBCSYSINI once per process, so this
    // folder is shared by the sandboxes of one program; each sandbox rewrites its files.
    std::string dir() const;
    std::string odbcinstIniPath() const { return dir() + "/odbcinst.ini"; }
    // A folder private to this sandbox.
    const std::string& privateDir() const { return temp_.path(); }
    // The user's odbc.ini (ODBCINI), private to this sandbox.
    std::string odbcIniPath() const { return temp_.file("odbc.ini"); }

    // The installer's own functions (unixODBC's libodbcinst.so.2).
    // window is handed to the setup module unchanged (null: no dialog).
    BOOL configDataSource(WORD request, const std::string& driver, const std::string& attributes,
                          HWND window = nullptr);
    BOOL writeString(const std::string& section, const std::string& key, const std::string& value);
    std::string getString(const std::string& section, const std::string& key);
    // The last installer error's text, "" when there is none.
    std::string installerError();

    // One value of the user odbc.ini as the file holds it, "<absent>" when the key is not there.
    std::string storedValue(const std::string& dsn, const std::string& key) const;
    // The user odbc.ini as a parser reads it: section -> ordered (key, value) pairs.
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> readOdbcIni() const;

private:
    TempDir temp_;
    std::map<std::string, std::string> saved_;
    HMODULE installer_;
};

// Builds a double-NUL-terminated attribute list from entries.
std::string attributeList(std::initializer_list<std::string> entries);

} // namespace kotest
