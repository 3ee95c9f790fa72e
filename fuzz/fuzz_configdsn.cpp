// A setup request over arbitrary attribute lists, written into a private unixODBC configuration.
// Built by CMake with -DKO_FUZZ=ON (see fuzz/CMakeLists.txt); run for example as
//   build-fuzz/fuzz/fuzz_configdsn -max_total_time=300 -max_len=4096
//
// The first byte chooses the request (add, configure, remove, or an unknown kind) and the window:
// none, the desktop, or a handle that is no window of ours (which takes the writing road); the rest
// is the list, closed by a double NUL as the installer passes it. Requests without a dialog reach
// SetDSNAttributes and write into odbc.ini, which starts empty for every input: whatever the list
// holds, one request leaves at most one section behind, and a written one holds every attribute.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "setup/setup.h"

namespace {

std::string odbcIni;

void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_configdsn: %s\n%s\n", what, detail.c_str());
    std::abort();
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int sectionCount(const std::string& text) {
    int n = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t a = line.find_first_not_of(" \t");
        if (a != std::string::npos && line[a] == '[') ++n;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/fuzz-configdsn-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    std::string root = dir;
    odbcIni = root + "/odbc.ini";
    std::ofstream(root + "/odbcinst.ini") << "[ODBC Btrieve Driver]\nDriver=/nonexistent/ztbtr20.so\n";
    setenv("ODBCSYSINI", root.c_str(), 1);
    setenv("ODBCINI", odbcIni.c_str(), 1);
    setenv("HOME", root.c_str(), 1);
    koSetFrontEnd(koFrontEndScript);
    koLibraryLoad();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint16_t request = static_cast<uint16_t>(1 + (data[0] & 3));
    int windowKind = (data[0] >> 2) % 3;
    int foreign = 0;
    HWND window = windowKind == 0   ? nullptr
                  : windowKind == 1 ? GetDesktopWindow()
                                    : reinterpret_cast<HWND>(&foreign);
    std::ofstream(odbcIni, std::ios::trunc).flush();

    // Exactly the caller's bytes and the closing double NUL: a read past them is caught.
    std::vector<unsigned char> list(data + 1, data + size);
    list.push_back(0);
    list.push_back(0);
    auto* copy = static_cast<unsigned char*>(std::malloc(list.size()));
    std::memcpy(copy, list.data(), list.size());
    {
        DSNInfoStruct info(window, request, reinterpret_cast<const unsigned char*>("ODBC Btrieve Driver"),
                           copy, setupInfoTable, setupInfoTableCount);
        uint16_t show = 0;
        bool ok = info.config(&show) != 0;
        std::string written = readAll(odbcIni);
        if (sectionCount(written) > 1) fail("one request wrote more than one section", written);
        if (ok && request != ODBC_REMOVE_DSN) {
            for (uint16_t i = 0; i < info.setupInfoCount; ++i)
                if (!info.infoArray[i]) fail("a row without a value after a successful request", "");
            if (!show) {
                // Written: the section is there with every attribute.
                for (uint16_t i = 0; i < info.setupInfoCount; ++i) {
                    std::string key =
                        std::string("\n") + reinterpret_cast<const char*>(info.setupInfo[i].keyword) + "=";
                    if (written.find(key) == std::string::npos) fail("an attribute was not written", written);
                }
            }
        }
    }
    std::free(copy);
    koScriptReset();
    return 0;
}
