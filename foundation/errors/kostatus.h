#pragma once
#include "platform/export.h"

// Result of most foundation operations: 0 success, 1 failure; callers test for non-zero.
enum KoStatus { koSuccess = 0, koFailure = 1 };
