// Command-line attributes of btrdsn and the checks of their values.
#include "tools/toolattrs.h"

#include <cctype>
#include <cstdlib>
#include <strings.h>

namespace btrdsn {

namespace {

enum class Kind { text, choice, number, flag, extension, name };

struct Keyword {
    const char* name;
    const char* shortName; // "" for none
    Kind kind;
    long min, max; // numbers
};

// The setup module's attributes, and the name.
const Keyword keywords[] = {
    {"DSN", "", Kind::name, 0, 0},
    {"Description", "", Kind::text, 0, 0},
    {"Database", "DB", Kind::text, 0, 0},
    {"UndefinedTable", "UT", Kind::choice, 0, 0},
    {"DataFileExtension", "DFE", Kind::extension, 0, 0},
    // The pages give both numbers a five-digit field.
    {"FileOpenCache", "FOC", Kind::number, 0, 99999},
    {"UseLongQualifiers", "ULQ", Kind::flag, 0, 0},
    {"LogonID", "UID", Kind::text, 0, 0},
    {"IntlSort", "IS", Kind::flag, 0, 0},
    {"ArraySize", "AS", Kind::number, 1, 99999},
    {"ApplicationUsingThreads", "AUT", Kind::flag, 0, 0},
};

const Keyword* lookup(const std::string& key) {
    for (const Keyword& k : keywords)
        if (!strcasecmp(key.c_str(), k.name) || (k.shortName[0] && !strcasecmp(key.c_str(), k.shortName)))
            return &k;
    return nullptr;
}

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "" when value suits the keyword, else the reason naming what is allowed.
std::string valueProblem(const Keyword& k, std::string* value) {
    const std::string& v = *value;
    switch (k.kind) {
    case Kind::choice:
        if (upper(v) != "PROMPT" && upper(v) != "ERROR")
            return std::string(k.name) + " must be PROMPT or ERROR, not \"" + v + "\"";
        *value = upper(v);
        return "";
    case Kind::flag:
        if (v != "0" && v != "1") return std::string(k.name) + " must be 0 or 1, not \"" + v + "\"";
        return "";
    case Kind::number: {
        bool digits = !v.empty() && v.size() <= 5;
        for (char c : v)
            digits = digits && std::isdigit(static_cast<unsigned char>(c));
        long n = digits ? std::strtol(v.c_str(), nullptr, 10) : -1;
        if (!digits || n < k.min || n > k.max)
            return std::string(k.name) + " must be a whole number from " + std::to_string(k.min) + " to " +
                   std::to_string(k.max) + ", not \"" + v + "\"";
        return "";
    }
    case Kind::extension: {
        std::string problem = fileExtensionProblem(v);
        return problem.empty() ? "" : std::string(k.name) + ": " + problem + " (\"" + v + "\")";
    }
    default:
        return "";
    }
}

} // namespace

std::string fileExtensionProblem(const std::string& extension) {
    std::string e = extension;
    while (!e.empty() && std::isspace(static_cast<unsigned char>(e.back())))
        e.pop_back();
    if (e.find_first_not_of(' ') == std::string::npos) return "the data file extension cannot be blank";
    if (e.size() > 3 || e.find_first_of("\\:.,/()|") != std::string::npos)
        return "the data file extension has at most 3 characters, none of \\ : . , / ( ) |";
    return "";
}

bool checkAttributes(const std::vector<std::string>& args, Attributes* out, std::string* error) {
    std::vector<const Keyword*> seen;
    std::vector<std::string> seenUnknown;
    for (const std::string& arg : args) {
        size_t eq = arg.find('=');
        if (eq == std::string::npos) {
            *error = "expected KEY=VALUE, got \"" + arg + "\"";
            return false;
        }
        std::string key = arg.substr(0, eq), value = arg.substr(eq + 1);
        const Keyword* k = lookup(key);
        // Only a keyword the setup module can read is worth a warning; it refuses the others.
        bool readable = !key.empty() && std::isalpha(static_cast<unsigned char>(key[0]));
        if (!k && !readable) {
            out->entries.push_back(arg);
            continue;
        }
        if (!k) {
            for (const auto& u : seenUnknown)
                if (!strcasecmp(u.c_str(), key.c_str())) {
                    *error = "the keyword \"" + key + "\" is given twice";
                    return false;
                }
            seenUnknown.push_back(key);
            out->warnings.push_back("unknown keyword \"" + key + "\" is ignored");
            out->entries.push_back(arg);
            continue;
        }
        for (const Keyword* s : seen) {
            if (s != k) continue;
            if (k->shortName[0])
                *error = "\"" + std::string(k->name) + "\" is given twice (as " + k->name + " or " +
                         k->shortName + ")";
            else
                *error = "\"" + std::string(k->name) + "\" is given twice";
            return false;
        }
        seen.push_back(k);
        std::string problem = valueProblem(*k, &value);
        if (!problem.empty()) {
            *error = problem;
            return false;
        }
        if (k->kind == Kind::name) out->dsn = value;
        out->entries.push_back(key + "=" + value);
    }
    if (out->dsn.empty()) {
        *error = "no data source named (DSN=...)";
        return false;
    }
    return true;
}

} // namespace btrdsn
