#pragma once
// The entries of a data source as unixODBC's configuration files hold them.
#include <string>
#include <utility>
#include <vector>

namespace btrdrv {

// The key=value lines of the data source's section (name matched ignoring case): the user's odbc.ini
// (ODBCINI, else ~/.odbc.ini) first, else the system's (ODBCSYSINI's odbc.ini, else /etc/odbc.ini).
// Empty when neither file has the section.
std::vector<std::pair<std::string, std::string>> dataSourceEntries(const std::string& name);

} // namespace btrdrv
