#pragma once
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "platform/types.h"

// The resource library (dialog templates and the string table, every library error text included)
// and its reference count. Loaded by the first setup request, counted by every later one. Only this
// unit changes the two; everyone else goes through koResourceAcquire, koResourceAddRef and
// koResourceRelease.
KO_EXPORT extern HINSTANCE resourceModule;
KO_EXPORT extern uint32_t resourceRefCount;

// Loads the resource library that belongs to module, or counts one more reference when refCount is
// not 0. With flag set the library's name replaces the character before the module name's extension
// by "R" (ztbtr20s.so gives ztbtr20R.so); with flag 0 the "R" goes before the extension.
KO_EXPORT KoStatus bosLoadResourceDLL(HINSTANCE module, int flag, HINSTANCE* handle, uint32_t* refCount);
// Gives one reference back; the library is unloaded with the last one. Always 0.
KO_EXPORT KoStatus bosFreeResourceDLL(HINSTANCE* handle, uint32_t* refCount);
// Splits the module's full file name (at most 255 characters) at its last "/" into directory (without
// the "/") and file name; either output may be null. 1 when the name cannot be had or holds no "/"
// after its first character.
KO_EXPORT KoStatus getDllFileNameAndDirectory(HINSTANCE module, unsigned char* directory,
                                              unsigned char* fileName);
// Copies string id of the resource library to out (the caller gives room for the whole string) and
// returns its length; a missing string or library gives "" and 0.
KO_EXPORT uint16_t winGetString(unsigned char* out, uint16_t id);

// Loads the resource library beside module (the setup module's own instance) or counts one more
// reference when it is loaded; 1 when it cannot be found.
KO_EXPORT KoStatus koResourceAcquire(HINSTANCE module);
// Counts one more reference on a library that is loaded; 1, and nothing counted, when none is.
KO_EXPORT KoStatus koResourceAddRef();
// Gives one reference back; the last one unloads the library.
KO_EXPORT void koResourceRelease();
