#include "tests/support/support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kotest {

TempDir::TempDir() {
    std::string tmpl =
        (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/kotest-XXXXXX");
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string buildLib(const std::string& name) {
    return std::string(KO_BUILD_LIB_DIR) + "/" + name;
}
std::string buildBin(const std::string& name) {
    return std::string(KO_BUILD_BIN_DIR) + "/" + name;
}

} // namespace kotest

#include "foundation/ui/dlldialg.h"
#include "platform/module.h"

namespace kotest {
void useBuildResources() {
    if (resourceModule) return;
    resourceModule = LoadLibraryA(buildLib("ztbtr20R.so").c_str());
    if (!resourceModule) throw std::runtime_error("cannot load the resource library");
    resourceRefCount = 1;
}
} // namespace kotest

#include "platform/window.h"

namespace kotest {
ScriptedUser::ScriptedUser() {
    koSetFrontEnd(koFrontEndScript);
    koScriptReset();
}
ScriptedUser::~ScriptedUser() {
    koScriptReset();
    koSetFrontEnd(koFrontEndNone);
}
} // namespace kotest
