#include "resources/resources.h"

// Words of the semaphore layer's diagnostic message boxes (KO_SEMCONTROL bit 16). Captions are read
// into 80-byte buffers and the other words into 40-byte ones, so they stay short.
const KoResourceString koStringsSync[] = {
    {1527, "Semaphore settings"},
    {1528, "Semaphore created"},
    {1529, "Semaphores switched off"},
    {1530, "System semaphore"},
    {1531, "Yes"},
    {1532, "No"},
    {1533, "Semaphore limit"},
    {1534, "Spin count"},
    {1535, "Spin sleep"},
    {1540, "Semaphore freed"},
    {0, nullptr},
};
