#pragma once
// The attributes btrdsn accepts on its command line, checked before any request is made: every
// keyword in either spelling (ignoring case, as the setup module reads them), each value against what
// the driver allows, so that a mistake is told with the allowed values instead of being stored.
#include <string>
#include <vector>

namespace btrdsn {

struct Attributes {
    std::string dsn;                   // the DSN value ("" when not given)
    std::vector<std::string> entries;  // KEY=VALUE as typed (values normalised where told)
    std::vector<std::string> warnings; // keywords ignored
};

// Checks the KEY=VALUE arguments. On a refusal returns false with the reason in *error.
bool checkAttributes(const std::vector<std::string>& args, Attributes* out, std::string* error);

// The data-file extension rule of the setup pages: 1 to 3 characters after trailing blanks are cut,
// none of \ : . , / ( ) |. "" when valid, else the reason.
std::string fileExtensionProblem(const std::string& extension);

} // namespace btrdsn
