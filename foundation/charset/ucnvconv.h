#pragma once
// Character-set numbers: IANA MIBenums (extended by a private range from 2,000,000,000 for converters
// ICU provides beyond the registry) to ICU converter names, and between MIBenums and Windows code
// pages, IBM CCSIDs and Morvex code-page numbers. Also finds the application code page and the
// data-source name in a connection string.
#include <cstdint>
#include "platform/export.h"

// What every number lookup returns for a number its table does not hold.
constexpr int32_t ucnvNoMatch = INT32_MIN; // 0x80000000

// The ICU converter name of a MIBenum, or null. The converters of the private range and the names the
// system's ICU lacks come from the converter data shipped with the module (see platform/icudata.h).
KO_EXPORT const char* ucnvIANAidToICUname(int32_t mibenum);
// A Morvex code-page number (the value of APPCODEPAGE and ACP) to its MIBenum.
KO_EXPORT int32_t ucnvMorvexToIANA(int32_t morvex);
// A Windows code-page number to its MIBenum.
KO_EXPORT int32_t ucnvWindowsToIANA(int32_t codePage);
// A MIBenum to an IBM CCSID; not the inverse of ucnvIBMToIANA.
KO_EXPORT int32_t ucnvIANAToIBM(int32_t mibenum);
// An IBM CCSID to a MIBenum.
KO_EXPORT int32_t ucnvIBMToIANA(int32_t ccsid);

// Scans the ";"-separated attributes of a UTF-16 connection string of the given units for the
// application code page: IANAAPPCODEPAGE or IACP give a MIBenum directly and end the scan, APPCODEPAGE
// or ACP a Morvex number (a later one replaces an earlier one). Keywords ignore case and may be
// surrounded by white space; "=" and an optional "-" before decimal digits follow. Returns the MIBenum
// or ucnvNoMatch. *dsn must be null on entry: the value of the first DSN attribute is stored there as a
// new zero-terminated text from malloc, which the caller releases with free.
KO_EXPORT int32_t ucnvUnicodeIANAAppCodePage(const uint16_t* text, int32_t units, uint16_t** dsn);
// The same for a connection string in the process's ANSI code page; *dsn receives the data-source name
// in that code page (from malloc; the caller frees it). ucnvNoMatch when the text cannot be converted
// or memory runs out.
KO_EXPORT int32_t ucnvAnsiIANAAppCodePage(const unsigned char* text, int32_t length, unsigned char** dsn);

// The tables themselves, each sorted by its first column.
struct UcnvNameRow {
    int32_t id;
    const char* name;
};
struct UcnvNumberRow {
    int32_t from;
    int32_t to;
};
extern const UcnvNameRow ucnvNameTable[];
extern const int32_t ucnvNameTableRows;
extern const UcnvNumberRow ucnvMorvexTable[];
extern const int32_t ucnvMorvexTableRows;
extern const UcnvNumberRow ucnvWindowsTable[];
extern const int32_t ucnvWindowsTableRows;
extern const UcnvNumberRow ucnvIANAToIBMTable[];
extern const int32_t ucnvIANAToIBMTableRows;
extern const UcnvNumberRow ucnvIBMToIANATable[];
extern const int32_t ucnvIBMToIANATableRows;
