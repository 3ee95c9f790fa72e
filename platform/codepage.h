#pragma once
// The process's ANSI code page and its character services (filled in with the character functions).
#include "platform/types.h"
