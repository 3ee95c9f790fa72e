#pragma once
// Entries of a data source that no row of the attribute table writes (a translator chosen once, a
// trace switch another tool added). Writing the section anew drops them, so a request collects them
// first and puts them back after its own rows.
#include <cstdint>
#include "foundation/errors/kostatus.h"

struct SetupInfo;

class KoKeptEntries {
public:
    KoKeptEntries() = default;
    ~KoKeptEntries();
    KoKeptEntries(const KoKeptEntries&) = delete;
    KoKeptEntries& operator=(const KoKeptEntries&) = delete;

    // Reads every entry of section in "ODBC.INI" whose key is neither "Driver" nor the keyword of a
    // row (ignoring case). 1 when memory runs out; a missing section collects nothing.
    KoStatus collect(const unsigned char* section, const SetupInfo* rows, uint16_t rowCount);
    // Writes the collected entries into section; false when the installer refuses one.
    bool restore(const unsigned char* section) const;
    uint32_t count() const { return count_; }

private:
    unsigned char* keys_ = nullptr;    // the kept keys, each ended by a NUL
    unsigned char** values_ = nullptr; // their values, in the same order
    uint32_t count_ = 0;
};
