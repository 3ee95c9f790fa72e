// Help display. Placeholder until the browser steering lands.
#include "foundation/ui/kohelp.h"

void koDisplayHelp(const unsigned char*, const unsigned char*) {}
void koDisplayHelp2(const unsigned char*, const unsigned char*, const unsigned char*) {}
KoStatus koFindHelpRoot(const unsigned char*, unsigned char**, uint32_t) {
    return koFailure;
}
