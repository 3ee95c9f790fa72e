// Attach and detach of the setup module: run when the shared object is loaded and unloaded. Only the
// module carries this file, so programs that link the layers directly control the library themselves.
#include "setup/setup.h"
#include "platform/win32.h"

namespace {
bool attached = false;

__attribute__((constructor)) void moduleAttach() {
    // A library that cannot set itself up stays inert: ConfigDSN then refuses every request.
    attached = koSetupAttach(koModuleOfAddress(reinterpret_cast<const void*>(&moduleAttach))) != 0;
}

__attribute__((destructor)) void moduleDetach() {
    if (attached) koSetupDetach();
}
} // namespace
