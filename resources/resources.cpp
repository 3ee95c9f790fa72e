#include "resources/resources.h"

#include <initializer_list>

extern "C" const char* koResourceString(unsigned id) {
    for (const KoResourceString* table : {koStringsSetup, koStringsErrors, koStringsSync, koStringsHelp})
        for (const KoResourceString* s = table; s->text; ++s)
            if (s->id == id) return s->text;
    return nullptr;
}
