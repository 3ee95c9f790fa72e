#pragma once
// Files without a name: scratch files that vanish with the process, whichever way it ends.
#include <cstdint>
#include "foundation/errors/kostatus.h"

// Removes the name of the file open under handle, so the file lives only as long as it is held.
// name (a 256-byte buffer holding the file's name) receives a name that reopens the same file with
// bosFileOpen while *keeper holds it; *keeper is 0 when nothing is held. On failure the error is
// raised (with the file's name) and 1 returned; the name, the file and the handle are unchanged.
KoStatus bosFileDetach(unsigned char* name, int handle, int* keeper);
// Lets a detached file go: it disappears when its last handle is closed. Keeper 0 does nothing.
void bosFileRelease(int keeper);
