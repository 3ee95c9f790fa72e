// The pipe: construction, destruction and the replaceable transport.
#include "foundation/storage/kopipe.h"

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "platform/win32.h"

KoPipe::KoPipe() : transport(defaultTransport()) {}

KoPipe::~KoPipe() {
    ramFree(secondBuffer);
    secondBuffer = nullptr;
    if (connected && closeHook) closeHook(this);
    ramFree(messageBuffer);
    messageBuffer = nullptr;
    messageLength = 0;
    if (transportLibrary) FreeLibrary(transportLibrary);
    transportLibrary = nullptr;
}

KoStatus KoPipe::loadTransport(const unsigned char* library) {
    const char* name = reinterpret_cast<const char*>(library);
    HMODULE module = name ? LoadLibraryA(name) : nullptr;
    if (!module) {
        koRaiseError(koErrLibraryLoad) << (library ? library : reinterpret_cast<const unsigned char*>(""));
        return koFailure;
    }
    auto entry = reinterpret_cast<KoPipeTransportEntry>(GetProcAddress(module, KO_PIPE_TRANSPORT_ENTRY));
    if (!entry) {
        koRaiseError(koErrLibraryEntry) << KO_PIPE_TRANSPORT_ENTRY << library;
        FreeLibrary(module);
        return koFailure;
    }
    KoPipeTransport table = defaultTransport();
    const bool complete = entry(&table) == 0 && table.close && table.connect && table.noOp && table.startUp &&
                          table.properties && table.receive && table.send && table.poll;
    if (!complete) {
        FreeLibrary(module);
        return koFailure;
    }
    if (transportLibrary) FreeLibrary(transportLibrary);
    transport = table;
    transportLibrary = module;
    return koSuccess;
}
