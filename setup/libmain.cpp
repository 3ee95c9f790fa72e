// Process attach and detach of the setup module.
#include "setup/setup.h"
#include "platform/win32.h"

namespace {
bool setupAttached = false;
}

int koSetupAttach(HINSTANCE instance) {
    moduleInstance = instance;
    setupAttached = koLibraryLoad() == koSuccess;
    return setupAttached ? 1 : 0;
}

void koSetupDetach() {
    unloadOdbcInst();
    koSemaphoreInfoDestroy();
    koLibraryUnload();
    setupAttached = false;
}

int koSetupIsAttached() {
    return setupAttached ? 1 : 0;
}
