/* A library named like the test program, beside it: its constructor tells the test it was loaded. */
#include <stdlib.h>

__attribute__((constructor)) static void announce(void) {
    setenv("KO_DECOY_LOADED", "1", 1);
}
