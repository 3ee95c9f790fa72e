#pragma once
// Files, directories and file names (filled in with the operating-system services).
#include "platform/types.h"
