#pragma once
// Parsed profile files shared by readers for as long as the file on disk stays the same one: every
// read checks the file's identity (device, inode, size, change times), so a write by anyone, this
// process or another, is seen by the next read, while repeated reads of an unchanged file skip the
// reading and parsing.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include "platform/inifile.h"
#include "platform/types.h"

struct KoProfileSnapshot {
    KoIniFile ini;   // empty when the file is missing or unreadable
    DWORD error = 0; // ERROR_SUCCESS, a read error, or ERROR_INVALID_DATA for a damaged file
    bool readable = false;
    std::unordered_map<std::string, std::string> values; // folded "section\0key" -> value

    // The value of key in section, or null.
    const std::string* find(std::string_view section, std::string_view key) const;
};

// The current snapshot of a file (never null).
std::shared_ptr<const KoProfileSnapshot> koProfileSnapshot(const std::string& path);
