#include "resources/resources.h"

// Page titles (at most 15 characters: the sheet reads them into 16-byte buffers).
const KoResourceString koStringsSetup[] = {
    {20151, "About"},
    {20152, "Advanced"},
    {20153, "General"},
    {0, nullptr},
};
