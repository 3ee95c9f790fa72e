#pragma once
// Environment, machine and user names, temporary directory (filled in with the operating-system services).
#include "platform/types.h"
