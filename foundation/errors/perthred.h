#pragma once
// Inside the thread table.
#include <cstdint>
#include "foundation/errors/pertask.h"

// Gives the record of an ended thread back to the pool of free records (its slots cleared).
void koReleaseThreadRecord(uint32_t threadId);
// Makes every thread's remembered record stale; called when the table is built or torn down.
void koThreadTableChanged();
