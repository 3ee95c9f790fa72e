#pragma once
#include "foundation/errors/kostatus.h"

// Encoding of a byte text; any other value behaves as koCPAnsi.
enum koCPType { koCPAnsi = 1, koCPUcs2 = 2, koCPUtf8 = 3 };
