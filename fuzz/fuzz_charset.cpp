// clang-format off
// Build and run from the repository root, with clang (one line; the converter data of a normal build in build/lib/icu):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. -I/usr/include/x86_64-linux-gnu fuzz/fuzz_charset.cpp $(ls foundation/*/*.cpp platform/*.cpp) $(pkg-config --cflags --libs icu-uc icu-i18n odbc) -ldl -lpthread -o build/fuzz_charset && KO_ICU_DATA=build/lib/icu build/fuzz_charset -max_total_time=300 -max_len=4096
// clang-format on
//
// Runs every conversion function on arbitrary bytes with converters picked from the MIBenum table and
// arbitrary output sizes, each output in a heap block of exactly that size (so a write past it is
// caught), and checks what every form promises: lengths within bounds, a terminator inside the buffer
// after a measuring form, success only when the terminated output fits.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unicode/ucnv.h>

#include "foundation/charset/charconv.h"
#include "foundation/charset/ucnvconv.h"
#include "foundation/charset/vzwchar.h"
#include "foundation/errors/pertask.h"

namespace {

void fail(int line, const char* what) {
    std::fprintf(stderr, "fuzz_charset.cpp:%d: %s does not hold\n", line, what);
    std::abort();
}
#define check(x) ((x) ? (void)0 : fail(__LINE__, #x))

// Converters of the table's names, opened once; null where a name does not open.
UConverter* converters[400];
int converterCount = 0;

UConverter* pick(uint8_t b) {
    return converterCount ? converters[b % converterCount] : nullptr;
}

template <class T> std::unique_ptr<T[]> exactBlock(int32_t n) {
    return std::unique_ptr<T[]>(new T[n > 0 ? n : 1]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    koLibraryLoad();
    for (int32_t i = 0; i < ucnvNameTableRows; ++i) {
        UErrorCode err = U_ZERO_ERROR;
        UConverter* c = ucnv_open(ucnvIANAidToICUname(ucnvNameTable[i].id), &err);
        if (U_SUCCESS(err) && c)
            converters[converterCount++] = c;
        else if (c)
            ucnv_close(c);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    UConverter* a = pick(data[0]);
    UConverter* b = pick(data[1]);
    const int32_t dstLen = data[2] | ((data[3] & 3) << 8);
    const int swap = data[3] >> 7;
    const int which = data[4] % 14;
    data += 5;
    size -= 5;
    if (!a || !b) return 0;
    const int32_t srcLen = static_cast<int32_t>(size);
    auto src = exactBlock<unsigned char>(srcLen);
    std::memcpy(src.get(), data, size);
    auto dst = exactBlock<unsigned char>(dstLen);
    auto wdst = exactBlock<uint16_t>(dstLen);
    const int32_t units = srcLen / 2;
    auto wsrc = exactBlock<uint16_t>(units);
    std::memcpy(wsrc.get(), data, static_cast<size_t>(units) * 2);
    int32_t out = -1, used = -1;
    KoConvertReturn r = koConvertOk;
    bool measuring = false, wide = false;
    switch (which) {
    case 0:
        r = vzAnsiToUTF8(dst.get(), dstLen, src.get(), srcLen, &out, &used, a, b);
        break;
    case 1:
        r = vzUTF8ToAnsi(dst.get(), dstLen, src.get(), srcLen, &out, &used, a, b);
        break;
    case 2:
        r = vzCpgToCpg(dst.get(), dstLen, src.get(), srcLen, &out, &used, a, b);
        break;
    case 3:
        measuring = true;
        r = vzAnsiToUTF8(dst.get(), dstLen, src.get(), srcLen, &out, a, b);
        break;
    case 4:
        measuring = true;
        r = vzUTF8ToAnsi(dst.get(), dstLen, src.get(), srcLen, &out, a, b);
        break;
    case 5:
        measuring = true;
        r = vzCpgToCpg(dst.get(), dstLen, src.get(), srcLen, &out, a, b);
        break;
    case 6:
        r = vzUCS2ToAnsi(reinterpret_cast<char*>(dst.get()), dstLen, wsrc.get(), units, &out, &used, a, swap);
        break;
    case 7:
        measuring = true;
        r = vzUCS2ToAnsi(reinterpret_cast<char*>(dst.get()), dstLen, wsrc.get(), units, &out, a, swap);
        break;
    case 8:
        wide = true;
        r = vzAnsiToUCS2(wdst.get(), dstLen, reinterpret_cast<char*>(src.get()), srcLen, &out, &used, a,
                         swap);
        break;
    case 9:
        wide = measuring = true;
        r = vzAnsiToUCS2(wdst.get(), dstLen, reinterpret_cast<char*>(src.get()), srcLen, &out, a, swap);
        break;
    case 10:
        r = vzUTF16ToUTF8(dst.get(), dstLen, wsrc.get(), units, &out, swap);
        break;
    case 11:
        measuring = true;
        r = vzUTF16ToUTF8ReqLen(dst.get(), dstLen, wsrc.get(), units, &out, swap);
        break;
    case 12:
        wide = true;
        r = vzUTF8ToUTF16(wdst.get(), dstLen, src.get(), srcLen, &out, swap);
        break;
    case 13: {
        wide = measuring = true;
        r = vzUTF8ToUTF16ReqLen(wdst.get(), dstLen, src.get(), srcLen, &out, swap);
        // Upper-casing in place stays inside the text.
        vzUTF8Upper(src.get(), srcLen);
        break;
    }
    }
    check(r == koConvertOk || r == koConvertTruncated || r == koConvertIllegalChar || r == koConvertFailed);
    if (r == koConvertFailed) return 0;
    check(out >= 0);
    if (used >= 0) check(used <= (which >= 6 && which <= 7 ? units : srcLen));
    if (!measuring) {
        if (r == koConvertOk) check(out <= dstLen);
        return 0;
    }
    // A measuring form: success exactly when the terminated output fits, and then it is terminated.
    if (dstLen == 0) {
        check(r != koConvertOk);
        return 0;
    }
    if (r == koConvertOk && which != 5) {
        check(out < dstLen);
        check(wide ? wdst[out] == 0 : dst[out] == 0);
    }
    if (r == koConvertTruncated) {
        bool terminated = false;
        for (int32_t i = 0; i < dstLen && !terminated; ++i)
            terminated = wide ? wdst[i] == 0 : dst[i] == 0;
        check(terminated);
    }
    return 0;
}
