#pragma once
// The driver's prompt for a data directory the connection string does not give.
#include <sql.h>
#include <sqlext.h>

#include <string>

namespace btrdrv {

enum class PromptResult { chosen, cancelled, unavailable };

// Asks the user, owned by window, for a data file of the database; its folder becomes *directory.
// unavailable when no window system serves the process.
PromptResult promptForDirectory(HWND window, std::string* directory);

} // namespace btrdrv
