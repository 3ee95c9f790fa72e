#pragma once
#include "platform/dlgtemplate.h"
// The resource library's string table: C++ tables behind one exported accessor.
struct KoResourceString {
    unsigned short id;
    const char* text;
};

// Tables of the areas that contribute strings; each ends with an entry whose text is null.
extern const KoResourceString koStringsSetup[];
extern const KoResourceString koStringsErrors[];
extern const KoResourceString koStringsSync[];
extern const KoResourceString koStringsHelp[];

// Exported accessor that the platform layer's LoadStringA reads: the text of string id, or null.
extern "C" __attribute__((visibility("default"))) const char* koResourceString(unsigned id);

// Dialog templates (1 General, 2 Advanced, 10 About) and icons (601 to 604), read by the platform
// layer's DialogBoxParamA, CreatePropertySheetPageA and LoadIconA.
extern "C" __attribute__((visibility("default"))) const KoDialogResource* koResourceDialog(unsigned id);
extern "C" __attribute__((visibility("default"))) const KoIconResource* koResourceIcon(unsigned id);
