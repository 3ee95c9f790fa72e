#pragma once
// Inside the memory layer: the fault-injection check every allocating function makes first.

// Counts one allocation attempt; true when the injection hook says it is to fail.
bool ramInjectFailure();
