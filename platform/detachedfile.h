#pragma once
// Files that live without a name: scratch space that must vanish with the process, crash or not.
#include "platform/types.h"

// Removes name from the file system while the descriptor fd keeps the file open, so the file
// disappears as soon as its last descriptor is closed. The name must still denote the file of fd
// (otherwise nothing is removed: ERROR_FILE_NOT_FOUND). *keeper receives a descriptor that holds the
// file without allowing I/O, and reopenName (MAX_PATH bytes) a name that opens the same file again,
// as long as the keeper stays open. FALSE with the last error set.
BOOL koDetachFile(int fd, LPCSTR name, int* keeper, LPSTR reopenName);
// Closes a keeper; the file is gone once no other descriptor holds it. Keeper -1 does nothing.
BOOL koReleaseKeeper(int keeper);
