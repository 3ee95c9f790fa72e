// The dialog branch of a setup request.
#include "setup/setup.h"

// No front end can run a property sheet yet: the request fails as Windows' does when the sheet
// cannot be created.
BOOL koRunSetupSheet(DSNInfoStruct*) {
    return FALSE;
}
