// Build tool: writes an ICU mapping file (.ucm) for every converter of equivalents.h, taking the mappings
// and the byte-sequence rules from the equivalent converter of the system's ICU, and compiles each with
// ICU's makeconv into the data folder ICU searches (<output>/<ICU data package>/<name>.cnv).
//
//   mkucm <folder for .ucm files> <output folder> <makeconv>
//
// What ICU's interface tells: which byte sequences are complete, incomplete, illegal or unassigned (the
// state table is rebuilt from that), the mapping of every sequence and of every code point, whether a
// mapping is round-trip or one-way, and the substitution characters.
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/uset.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "resources/converters/equivalents.h"

namespace {

using Bytes = std::string;

struct Mapping {
    UChar32 cp;
    Bytes bytes;
    int flag; // 0 round trip, 1 from Unicode only, 2 to the one-byte substitute, 3 to Unicode only
    bool operator<(const Mapping& o) const {
        return cp != o.cp ? cp < o.cp : bytes != o.bytes ? bytes < o.bytes : flag < o.flag;
    }
};

enum class Outcome { mapped, unassigned, illegal, incomplete };

struct Probe {
    UConverter* cnv;

    // Decodes one byte sequence with the stop callback: what it is, and its code point when mapped.
    Outcome decode(const Bytes& b, UChar32* cp, int* units) {
        ucnv_resetToUnicode(cnv);
        UChar out[8];
        UChar* target = out;
        const char* source = b.data();
        UErrorCode err = U_ZERO_ERROR;
        ucnv_toUnicode(cnv, &target, out + 8, &source, b.data() + b.size(), nullptr, true, &err);
        if (err == U_TRUNCATED_CHAR_FOUND) return Outcome::incomplete;
        if (err == U_ILLEGAL_CHAR_FOUND) return Outcome::illegal;
        if (U_FAILURE(err)) return Outcome::unassigned;
        *units = static_cast<int>(target - out);
        if (*units == 0) return Outcome::unassigned;
        int i = 0;
        U16_NEXT(out, i, *units, *cp);
        if (i != *units) *units = -1; // more than one code point: not a one-to-one mapping
        return Outcome::mapped;
    }

    // Encodes one code point with the stop callback; empty when it has no mapping.
    Bytes encode(UChar32 cp, bool fallback) {
        ucnv_resetFromUnicode(cnv);
        ucnv_setFallback(cnv, fallback);
        UChar in[2];
        int n = 0;
        U16_APPEND_UNSAFE(in, n, cp);
        char out[16];
        char* target = out;
        const UChar* source = in;
        UErrorCode err = U_ZERO_ERROR;
        ucnv_fromUnicode(cnv, &target, out + sizeof out, &source, in + n, nullptr, true, &err);
        ucnv_setFallback(cnv, false);
        if (U_FAILURE(err)) return Bytes();
        return Bytes(out, target - out);
    }
};

// The byte-sequence tree of a multi-byte converter, merged into states.
struct StateBuilder {
    Probe& probe;
    std::vector<Mapping>& toUnicode; // sequence -> code point, found on the way
    std::map<std::string, int> signatures;
    std::vector<std::string> rows; // one <icu:state> line per state
    bool stateful = false;

    // The state for the sequences that start with prefix; its entries are computed from the 256 bytes
    // that may follow. States with the same entries (and the same states after them) are one.
    int build(const Bytes& prefix) {
        struct Entry {
            char kind; // 'v' valid, 'p' valid with a supplementary mapping, 'i' illegal, 't' transition
            int next;
        };
        Entry entries[256];
        bool supplementary = false;
        for (int b = 0; b < 256; ++b) {
            Bytes seq = prefix + static_cast<char>(b);
            UChar32 cp = 0;
            int units = 0;
            switch (probe.decode(seq, &cp, &units)) {
            case Outcome::mapped:
                entries[b] = {'v', 0};
                if (units > 0)
                    toUnicode.push_back({cp, seq, 0});
                else
                    fprintf(stderr, "mkucm: a sequence maps to several code points; left out\n");
                if (cp > 0xFFFF) supplementary = true;
                break;
            case Outcome::unassigned:
                entries[b] = {'v', 0};
                break;
            case Outcome::illegal:
                entries[b] = {'i', 0};
                break;
            case Outcome::incomplete:
                entries[b] = {'t', prefix.size() < 3 ? build(seq) : -1};
                if (entries[b].next < 0) entries[b] = {'i', 0};
                break;
            }
        }
        std::string line;
        for (int b = 0; b < 256;) {
            int e = b;
            while (e + 1 < 256 && entries[e + 1].kind == entries[b].kind &&
                   entries[e + 1].next == entries[b].next)
                ++e;
            if (entries[b].kind != 'i') {
                char range[32];
                if (e == b)
                    snprintf(range, sizeof range, "%x", b);
                else
                    snprintf(range, sizeof range, "%x-%x", b, e);
                if (!line.empty()) line += ", ";
                line += range;
                if (entries[b].kind == 't')
                    line += ":" + std::to_string(entries[b].next);
                else if (supplementary)
                    line += ".p";
            }
            b = e + 1;
        }
        auto found = signatures.find(line);
        if (found != signatures.end()) return found->second;
        int state = static_cast<int>(rows.size());
        signatures.emplace(line, state);
        rows.push_back(line);
        return state;
    }
};

std::string hex(const Bytes& b) {
    std::string s;
    for (unsigned char c : b) {
        char x[8];
        snprintf(x, sizeof x, "\\x%02X", c);
        s += x;
    }
    return s;
}

bool isEbcdic(Probe& probe) {
    Bytes a = probe.encode(0x41, false);
    return a.size() == 1 && static_cast<unsigned char>(a[0]) == 0xC1;
}

// The code points that ICU replaces with the one-byte substitution character (subchar1) instead of the
// main one: added as "|2" mappings, so that they keep it whatever the layout of the built table. Returns
// subchar1, which single unmappable bytes reveal even when no code point uses it.
Bytes findSubChar1(Probe& probe, const Bytes& sub, USet* assigned, bool ebcdicStateful,
                   std::vector<Mapping>& all) {
    UConverter* cnv = probe.cnv;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &err);
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &err);
    Bytes sub1;
    for (UChar32 c = 0; c <= 0xFFFF; ++c) {
        if ((c >= 0xD800 && c < 0xE000) || uset_contains(assigned, c)) continue;
        ucnv_resetFromUnicode(cnv);
        UChar in[1] = {static_cast<UChar>(c)};
        char out[16];
        err = U_ZERO_ERROR;
        int32_t n = ucnv_fromUChars(cnv, out, sizeof out, in, 1, &err);
        Bytes got(out, U_SUCCESS(err) && n > 0 && n <= 16 ? n : 0);
        if (ebcdicStateful && got.size() == 4 && got[0] == 0x0E) got = got.substr(1, 2);
        if (got.size() == 1 && got != sub) {
            sub1 = got;
            all.push_back({c, got, 2});
        }
    }
    bool singleBytesGiveSub1 = false;
    for (int b = 0; b < 256 && !singleBytesGiveSub1; ++b) {
        UChar32 cp;
        int units;
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        Outcome o = probe.decode(Bytes(1, static_cast<char>(b)), &cp, &units);
        if (o != Outcome::unassigned && o != Outcome::illegal) continue;
        err = U_ZERO_ERROR;
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &err);
        ucnv_resetToUnicode(cnv);
        UChar got[4];
        char in[1] = {static_cast<char>(b)};
        err = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(cnv, got, 4, in, 1, &err);
        singleBytesGiveSub1 = U_SUCCESS(err) && n == 1 && got[0] == 0x1A;
    }
    err = U_ZERO_ERROR;
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    // Used by no code point: only its presence shows, in what an unmappable byte decodes to.
    if (sub1.empty() && singleBytesGiveSub1 && sub.size() > 1) sub1 = "\x1A";
    return sub1;
}

bool writeUcm(const char* name, const char* icuName, const std::string& path) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* cnv = ucnv_open(icuName, &err);
    if (U_FAILURE(err)) {
        if (cnv) ucnv_close(cnv);
        fprintf(stderr, "mkucm: ICU has no converter %s for %s; skipped\n", icuName, name);
        return false;
    }
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    Probe probe{cnv};
    const UConverterType type = ucnv_getType(cnv);
    const bool ebcdicStateful = type == UCNV_EBCDIC_STATEFUL;
    if (type != UCNV_SBCS && type != UCNV_DBCS && type != UCNV_MBCS && !ebcdicStateful) {
        fprintf(stderr, "mkucm: %s is not table-based; skipped\n", icuName);
        ucnv_close(cnv);
        return false;
    }

    // Byte side: every sequence and what it decodes to.
    std::vector<Mapping> toUnicode;
    std::vector<std::string> states;
    if (ebcdicStateful) {
        // Single bytes, and double bytes between the shifts; makeconv knows the shifting rules.
        for (int b = 0; b < 256; ++b) {
            if (b == 0x0E || b == 0x0F) continue;
            UChar32 cp;
            int units = 0;
            if (probe.decode(Bytes(1, static_cast<char>(b)), &cp, &units) == Outcome::mapped && units > 0)
                toUnicode.push_back({cp, Bytes(1, static_cast<char>(b)), 0});
        }
        for (int l = 0x40; l < 0xFF; ++l) {
            for (int t = 0x40; t < 0xFF; ++t) {
                Bytes seq{'\x0E', static_cast<char>(l), static_cast<char>(t), '\x0F'};
                UChar32 cp;
                int units = 0;
                if (probe.decode(seq, &cp, &units) == Outcome::mapped && units > 0)
                    toUnicode.push_back({cp, seq.substr(1, 2), 0});
            }
        }
    } else if (type != UCNV_SBCS) {
        StateBuilder builder{probe, toUnicode, {}, {}};
        // State 0 is built last by the recursion; number the states so that the initial one is first.
        builder.build(Bytes());
        std::vector<std::string> rows = builder.rows;
        int n = static_cast<int>(rows.size());
        // Renumber: state k becomes n - 1 - k, so the initial state (built last) is state 0.
        for (int k = n - 1; k >= 0; --k) {
            std::string line = rows[k], renumbered;
            for (size_t i = 0; i < line.size();) {
                if (line[i] == ':') {
                    size_t j = i + 1;
                    while (j < line.size() && isdigit(static_cast<unsigned char>(line[j])))
                        ++j;
                    int s = atoi(line.substr(i + 1, j - i - 1).c_str());
                    renumbered += ":" + std::to_string(n - 1 - s);
                    i = j;
                } else {
                    renumbered += line[i++];
                }
            }
            states.push_back(renumbered);
        }
    } else {
        for (int b = 0; b < 256; ++b) {
            UChar32 cp;
            int units = 0;
            if (probe.decode(Bytes(1, static_cast<char>(b)), &cp, &units) == Outcome::mapped && units > 0)
                toUnicode.push_back({cp, Bytes(1, static_cast<char>(b)), 0});
        }
    }

    auto encodeBare = [&](UChar32 cp, bool fallback) {
        Bytes b = probe.encode(cp, fallback);
        if (ebcdicStateful && b.size() == 4 && b[0] == 0x0E) b = b.substr(1, 2);
        return b;
    };

    std::vector<Mapping> all;
    std::map<std::pair<UChar32, Bytes>, bool> decodedPairs;
    for (Mapping m : toUnicode) {
        m.flag = encodeBare(m.cp, false) == m.bytes ? 0 : 3;
        decodedPairs[{m.cp, m.bytes}] = true;
        all.push_back(m);
    }

    // Code-point side: mappings used only from Unicode (fallbacks).
    USet* set = uset_openEmpty();
    err = U_ZERO_ERROR;
    ucnv_getUnicodeSet(cnv, set, UCNV_ROUNDTRIP_AND_FALLBACK_SET, &err);
    for (int32_t i = 0, items = uset_getItemCount(set); i < items; ++i) {
        UChar32 start, end;
        UErrorCode e = U_ZERO_ERROR;
        if (uset_getItem(set, i, &start, &end, nullptr, 0, &e) != 0) continue; // a string: not one-to-one
        for (UChar32 c = start; c <= end; ++c) {
            Bytes b = encodeBare(c, true);
            if (b.empty()) continue;
            auto known = decodedPairs.find({c, b});
            if (known != decodedPairs.end()) {
                // Decodes to c as well: a round trip unless reached only with fallbacks.
                if (encodeBare(c, false) != b) all.push_back({c, b, 1});
                continue;
            }
            all.push_back({c, b, 1});
        }
    }
    char sub[8];
    int8_t subLen = sizeof sub;
    err = U_ZERO_ERROR;
    ucnv_getSubstChars(cnv, sub, &subLen, &err);
    Bytes subchar(sub, U_SUCCESS(err) ? subLen : 0);
    Bytes subchar1 = findSubChar1(probe, subchar, set, ebcdicStateful, all);
    uset_close(set);
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end(),
                          [](const Mapping& a, const Mapping& b) {
                              return a.cp == b.cp && a.bytes == b.bytes && a.flag == b.flag;
                          }),
              all.end());

    FILE* f = fopen(path.c_str(), "w");
    if (!f) {
        ucnv_close(cnv);
        return false;
    }
    fprintf(f, "# Built from ICU's %s.\n", ucnv_getName(cnv, &err));
    fprintf(f, "<code_set_name>               \"%s\"\n", name);
    // ICU counts the shift byte of an EBCDIC stateful character in its run-time size; the table does not.
    fprintf(f, "<mb_cur_max>                  %d\n", ebcdicStateful ? 2 : ucnv_getMaxCharSize(cnv));
    fprintf(f, "<mb_cur_min>                  %d\n", ebcdicStateful ? 1 : ucnv_getMinCharSize(cnv));
    fprintf(f, "<uconv_class>                 \"%s\"\n",
            ebcdicStateful      ? "EBCDIC_STATEFUL"
            : type == UCNV_SBCS ? "SBCS"
                                : "MBCS");
    if (!subchar.empty()) fprintf(f, "<subchar>                     %s\n", hex(subchar).c_str());
    if (!subchar1.empty() && subchar1.size() == 1)
        fprintf(f, "<subchar1>                    %s\n", hex(subchar1).c_str());
    if (isEbcdic(probe)) fprintf(f, "<icu:charsetFamily>           \"EBCDIC\"\n");
    for (const std::string& s : states)
        fprintf(f, "<icu:state>                   %s\n", s.c_str());
    fprintf(f, "CHARMAP\n");
    for (const Mapping& m : all)
        fprintf(f, "<U%04X> %s |%d\n", static_cast<unsigned>(m.cp), hex(m.bytes).c_str(), m.flag);
    fprintf(f, "END CHARMAP\n");
    fclose(f);
    ucnv_close(cnv);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: mkucm <ucm folder> <output folder> <makeconv>\n");
        return 2;
    }
    std::string ucmDir = argv[1], outDir = std::string(argv[2]) + "/" U_ICUDATA_NAME;
    std::string mk = "mkdir -p '" + ucmDir + "' '" + outDir + "'";
    if (system(mk.c_str()) != 0) return 1;
    int built = 0;
    for (const KoConverterEquivalent& e : koConverterEquivalents) {
        std::string ucm = ucmDir + "/" + e.name + ".ucm";
        if (!writeUcm(e.name, e.icu, ucm)) continue;
        std::string cmd = std::string("'") + argv[3] + "' -q -d '" + outDir + "' '" + ucm + "'";
        if (system(cmd.c_str()) != 0) {
            fprintf(stderr, "mkucm: makeconv failed for %s\n", e.name);
            return 1;
        }
        ++built;
    }
    printf("mkucm: %d converters in %s\n", built, outDir.c_str());
    return 0;
}
