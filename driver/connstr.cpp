#include "driver/connstr.h"

namespace btrdrv {

namespace {
bool blank(char c) {
    return c == ' ' || c == '\t';
}
std::string trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}
} // namespace

bool parseConnectionString(const std::string& text, std::vector<Attribute>* out, size_t* where) {
    size_t i = 0, n = text.size();
    while (i < n) {
        size_t start = i;
        size_t eq = text.find('=', i);
        size_t semi = text.find(';', i);
        if (semi == i) { // an empty pair
            ++i;
            continue;
        }
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            if (trimmed(text.substr(i, (semi == std::string::npos ? n : semi) - i)).empty()) {
                i = semi == std::string::npos ? n : semi + 1;
                continue;
            }
            *where = start;
            return false;
        }
        Attribute a;
        a.keyword = trimmed(text.substr(i, eq - i));
        if (a.keyword.empty()) {
            *where = start;
            return false;
        }
        i = eq + 1;
        size_t v = i;
        while (v < n && blank(text[v]))
            ++v;
        if (v < n && text[v] == '{') {
            std::string value;
            size_t j = v + 1;
            for (;; ++j) {
                if (j >= n) {
                    *where = v;
                    return false;
                }
                if (text[j] == '}') {
                    if (j + 1 < n && text[j + 1] == '}') {
                        value += '}';
                        ++j;
                        continue;
                    }
                    break;
                }
                value += text[j];
            }
            a.value = value;
            i = j + 1;
            while (i < n && blank(text[i]))
                ++i;
            if (i < n && text[i] != ';') {
                *where = i;
                return false;
            }
            if (i < n) ++i;
        } else {
            size_t end = text.find(';', i);
            if (end == std::string::npos) end = n;
            // Blanks before an unbraced value are trimmed, blanks after it kept: a value that must
            // begin with one is written in braces.
            a.value = text.substr(i, end - i);
            size_t b = 0;
            while (b < a.value.size() && blank(a.value[b]))
                ++b;
            a.value.erase(0, b);
            i = end < n ? end + 1 : n;
        }
        out->push_back(a);
    }
    return true;
}

std::string formatAttribute(const std::string& keyword, const std::string& value) {
    bool braces = value.find_first_of(";{}") != std::string::npos || (!value.empty() && blank(value[0])) ||
                  (!value.empty() && blank(value.back()));
    if (!braces) return keyword + "=" + value + ";";
    std::string s = keyword + "={";
    for (char c : value) {
        s += c;
        if (c == '}') s += '}';
    }
    return s + "};";
}

} // namespace btrdrv
