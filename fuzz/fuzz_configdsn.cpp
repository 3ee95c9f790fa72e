// clang-format off
// Build and run from the repository root, with clang (one line):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. -I/usr/include/x86_64-linux-gnu fuzz/fuzz_configdsn.cpp $(ls foundation/*/*.cpp platform/*.cpp setup/*.cpp) $(pkg-config --cflags --libs icu-uc icu-i18n odbc) -ldl -lpthread -o build/fuzz_configdsn && build/fuzz_configdsn -max_total_time=300 -max_len=4096
// clang-format on
//
// A setup request over arbitrary attribute lists: the first byte chooses the request, the rest is
// the list (closed by a double NUL, as the installer passes it). The machine has no installer
// library, so every profile call fails and nothing is written: what is exercised is the measuring,
// the dropping of a parenthesised entry, the parsing and the filling of every row.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/win32.h"
#include "setup/setup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("KO_LIBRARY_PATH", "/nonexistent", 1);
    setenv("KO_SYSTEM_DIR", "/nonexistent", 1);
    koSetFrontEnd(koFrontEndScript);
    koLibraryLoad();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint16_t request = static_cast<uint16_t>(1 + data[0] % 4);
    // Exactly the caller's bytes and the closing double NUL: a read past them is caught.
    std::vector<unsigned char> list(data + 1, data + size);
    list.push_back(0);
    list.push_back(0);
    auto* copy = static_cast<unsigned char*>(std::malloc(list.size()));
    std::memcpy(copy, list.data(), list.size());
    {
        DSNInfoStruct info(GetDesktopWindow(), request, reinterpret_cast<const unsigned char*>("ODBC Btrieve Driver"),
                           copy, setupInfoTable, setupInfoTableCount);
        uint16_t show = 0;
        if (info.config(&show) && request != ODBC_REMOVE_DSN) {
            for (uint16_t i = 0; i < info.setupInfoCount; ++i)
                if (!info.infoArray[i]) std::abort(); // every row has a value after a successful config
        }
    }
    std::free(copy);
    koScriptReset();
    return 0;
}
