#pragma once
// Threads, critical sections and semaphores (filled in with the thread and semaphore work).
#include "platform/types.h"
