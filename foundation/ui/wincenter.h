#pragma once
// Centring a window over its parent or the screen.
#include "platform/types.h"

// Moves window to the centre of its parent (of the screen when it has none or its top-level ancestor
// is minimized), kept on the screen, without changing its size or z-order.
KO_EXPORT void winCenterBox(HWND window);
