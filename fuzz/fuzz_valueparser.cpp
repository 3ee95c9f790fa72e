// Built by CMake with -DKO_FUZZ=ON (see fuzz/CMakeLists.txt); run for example as
//   build-fuzz/fuzz/fuzz_valueparser -max_total_time=300 -max_len=4096
//
// Feeds arbitrary bytes to the attribute-list parser the way a setup request does (a view of a
// measured length, separator NUL) and the way connection strings are read (separator ";"), then
// checks that the parser never reads outside the view and that what it builds reads back into the
// same attributes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/text/kodbcs.h"
#include "foundation/text/kostring.h"
#include "foundation/text/kovalueparser.h"

namespace {

bool same(const KoSubString* a, const KoSubString* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return a->length == b->length && (a->length == 0 || std::memcmp(a->text, b->text, a->length) == 0);
}

void fail(int line, const char* what) {
    std::fprintf(stderr, "fuzz_valueparser.cpp:%d: %s does not hold\n", line, what);
    std::abort();
}
#define check(x) ((x) ? (void)0 : fail(__LINE__, #x))

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    koLibraryLoad();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const unsigned char separator = (data[0] & 1) ? ';' : 0;
    const unsigned int dups = (data[0] >> 1) & 1;
    const koCPType cp = (data[0] & 4) ? koCPUtf8 : koCPAnsi;
    ++data;
    --size;
    // An exact copy, so that a read past the end is caught.
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size ? size : 1]);
    std::memcpy(bytes.get(), data, size);
    const unsigned char zz[] = "ZZ";
    const uint32_t take = size < 64 ? static_cast<uint32_t>(size) : 64u;

    KoErrorList errors;
    KoErrorKeeper::setErrorList(&errors);
    {
        KoSubString view(bytes.get(), static_cast<uint32_t>(size), cp);
        KoValueParser parser(&view, separator, nullptr, dups);
        if (parser.initialize() == koSuccess) {
            // Everything reads back as it was written.
            KoString built(cp);
            check(parser.buildString(&built) == koSuccess);
            KoSubString again(built.text, built.length, cp);
            KoValueParser reread(&again, separator, nullptr, 0);
            check(reread.initialize() == koSuccess);
            const uint32_t n = parser.getAttributeCount();
            check(reread.getAttributeCount() == n);
            for (uint32_t i = 0; i < n && i < 0xFFFF; ++i) {
                const KoSubString* key = parser.getAttributeKey(static_cast<uint16_t>(i));
                check(same(key, reread.getAttributeKey(static_cast<uint16_t>(i))));
                check(same(parser.getAttributeValue(key), reread.getAttributeValue(key)));
            }
            check(parser.getUnusedCount() == 0);
            check(parser.getUnusedAttribute() == nullptr);

            // Additions and removals keep the others in place.
            const bool existed = parser.isAttributeValue(zz) != 0;
            check(parser.addAttribute(zz, 2, bytes.get(), take, nullptr, 0) == koSuccess);
            check(parser.getAttributeCount() == (existed ? n : n + 1));
            check(parser.getAttributeValue(zz) != nullptr);
            parser.removeAttribute(zz);
            check(parser.getAttributeCount() == (existed ? n - 1 : n));
            check(parser.getAttributeValue(zz) == nullptr);
        }
    }
    {
        // A value taken from the input reads back as it was stored (quoted when it holds the
        // separator or a quote). A multi-byte character cut off at its end would take the separator
        // after it as a trail byte, so the list is read back only when the last character is whole;
        // blanks at its ends are kept by no list, so the value itself is compared for printable
        // ASCII values only.
        bool comparable = take > 0 && bytes[0] > 0x20 && bytes[take - 1] > 0x20;
        for (uint32_t i = 0; i < take; ++i)
            comparable = comparable && bytes[i] < 0x7F;
        KoSubString empty(bytes.get(), 0, cp);
        KoValueParser adder(&empty, separator, nullptr, 0);
        check(adder.initialize() == koSuccess);
        check(adder.addAttribute(zz, 2, bytes.get(), take, nullptr, 0) == koSuccess);
        check(adder.addAttribute(reinterpret_cast<const unsigned char*>("Next"),
                                 reinterpret_cast<const unsigned char*>("1"), nullptr) == koSuccess);
        KoString built(cp);
        check(adder.buildString(&built) == koSuccess);
        KoSubString view(built.text, built.length, cp);
        KoValueParser reader(&view, separator, nullptr, 0);
        uint32_t end = 0;
        while (end < take)
            end += koCharSizeOfByte(bytes[end], cp);
        // A NUL-separated list cannot hold a NUL inside a value.
        const bool representable = separator != 0 || std::memchr(bytes.get(), 0, take) == nullptr;
        if (representable && (comparable || end == take)) {
            check(reader.initialize() == koSuccess);
            check(reader.getAttributeCount() == 2);
            check(reader.getAttributeValue(reinterpret_cast<const unsigned char*>("Next")) != nullptr);
        }
        if (representable && comparable)
            check(same(reader.getAttributeValue(zz), adder.getAttributeValue(zz)));
    }
    KoErrorKeeper::giveUpErrorList();
    return 0;
}
