#pragma once
// The translator choice kept in the record: three rows appended to the attribute table.
#include <cstdint>
#include "foundation/errors/kostatus.h"

struct DSNInfoStruct;

// Appends the rows "TranslationName", "TranslationDll" and "TranslationOption" (the option as
// unsigned decimal text), each with no control, giving the record a private copy of the table first
// when it still uses the shared one. 1 when memory runs out: the rows appended before stay, the
// record stays whole, and nothing is left allocated for the row that failed.
KoStatus koAppendTranslatorRows(DSNInfoStruct* info, const unsigned char* name, const unsigned char* path,
                                uint32_t option);
