#pragma once
// What btrdsn asks unixODBC's configuration directly: where a data source lives, how its name is
// spelled there, which driver it belongs to, whether a driver is registered, and the reasons the
// installer gives for a failure, made readable.
#include <string>
#include <vector>

namespace btrdsn {

enum class Scope { user, system };

struct Location {
    Scope scope;
    std::string name; // the section's own spelling
    std::string file; // the odbc.ini that holds it
};

// While it lives, no setup request rewrites a data-source file: it holds the lock files the setup
// module takes for its writes ("<odbc.ini>.lock"), shared, so that what btrdsn reads is never a file
// half rewritten. Release it before making a request, which takes the lock itself.
class ReadLock {
public:
    ReadLock();
    ~ReadLock();
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;

private:
    std::vector<int> fds_;
};

// The odbc.ini of a scope.
std::string dataSourceFile(Scope scope);
// The odbcinst.ini that registers drivers.
std::string driverFile();

// Finds the data source, ignoring case: only in the scope given, else the user's file first (a user
// data source shadows a system one of the same name). False when there is none.
bool findDataSource(const std::string& name, const Scope* only, Location* where);

// Every data source, user and system, whose "Driver" entry names driver (ignoring case).
std::vector<Location> dataSourcesOfDriver(const std::string& driver);

// One stored value of a data source in its scope; found tells whether the key is there.
std::string storedValue(const Location& where, const std::string& key, bool* found = nullptr);
// Every key of a data source, in file order.
std::vector<std::string> storedKeys(const Location& where);

// The driver's own entry of odbcinst.ini ("" when the driver or the key is not there).
std::string driverEntry(const std::string& driver, const std::string& key);
bool driverRegistered(const std::string& driver);

// Prints the reasons of the installer's last failure, "btrdsn: WHAT failed: REASON", one a line;
// syntax positions inside the attribute list are told as positions in the argument the user typed
// (argStarts: each argument's offset in the list). Returns 1, the tool's failure status.
int reportInstallerFailure(const std::string& what, const std::vector<std::string>& args = {},
                           const std::vector<size_t>& argStarts = {});

} // namespace btrdsn
