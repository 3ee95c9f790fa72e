#include "tests/support/setupmodule.h"

#include "platform/module.h"
#include "setup/setup.h"
#include "tests/support/support.h"

namespace kotest {

void SetupModuleEnvironment::SetUp() {
    HMODULE module = LoadLibraryA(buildLib("ztbtr20s.so").c_str());
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(koSetupAttach(module), 1);
}

void SetupModuleEnvironment::TearDown() {
    koSetupDetach();
}

} // namespace kotest
