// Placeholder for the translator choice, which lands with the About page (remove this unit then):
// no translator is chosen and nothing is appended.
#include "setup/pages.h"

KoStatus BaseGetTranslator(HWND, DSNInfoStruct*) {
    return koSuccess;
}
