#include "resources/resources.h"

// The message box of a help request for a driver whose help folder is not registered.
const KoResourceString koStringsHelp[] = {
    {1525, "ODBC Btrieve Driver Help"},
    {1526, "The help for this driver cannot be shown: its help folder is not registered.\n\n"
           "Set HelpRootDirectory in the driver's section of odbcinst.ini to the folder that holds "
           "help.htm, or register the driver again with \"btrdsn install\", which sets it."},
    {0, nullptr},
};
