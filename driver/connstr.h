#pragma once
// Connection strings as ODBC's grammar defines them: "keyword=value;" pairs, a value in braces may
// hold anything, a "}" inside braces doubled.
#include <string>
#include <vector>

namespace btrdrv {

struct Attribute {
    std::string keyword; // as written, blanks around it trimmed
    std::string value;   // braces removed, doubled "}" collapsed; blanks before an unbraced value trimmed
};

// Splits text into pairs in order; false with *where set to the offset of the first fault (a pair
// without "=", an empty keyword, braces that do not close).
bool parseConnectionString(const std::string& text, std::vector<Attribute>* out, size_t* where);

// One pair in the form the parser reads back unchanged.
std::string formatAttribute(const std::string& keyword, const std::string& value);

} // namespace btrdrv
