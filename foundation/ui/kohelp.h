#pragma once
// Help display: the driver's HTML help opened at a topic in the user's browser.
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "platform/export.h"

// Opens the help of the driver registered under driverSection (its "HelpRootDirectory" in
// "ODBCINST.INI") at topic, context "ODBC".
KO_EXPORT void koDisplayHelp(const unsigned char* driverSection, const unsigned char* topic);
// The same for a given help directory and context.
KO_EXPORT void koDisplayHelp2(const unsigned char* helpDirectory, const unsigned char* context,
                              const unsigned char* topic);
// Writes the help set's entry address of the driver into *address (size bytes); 1, after telling the
// user what to set, when the driver has no help directory.
KO_EXPORT KoStatus koFindHelpRoot(const unsigned char* driverSection, unsigned char** address, uint32_t size);
