#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "setup/setup.h"
#include "platform/win32.h"
#include "tests/support/odbcsandbox.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace {

// Without its resource library the module has no name to derive the driver library from: nothing
// else is loaded (not a library named after the host program, which stands beside it here), the
// user is warned, and the definer stays unavailable.
TEST(Hardening, WithoutTheResourceLibraryTheDefinerBindingLoadsNothing) {
    ASSERT_EQ(std::getenv("KO_DECOY_LOADED"), nullptr);
    kotest::ScriptedUser user;
    HINSTANCE savedModule = resourceModule;
    uint32_t savedCount = resourceRefCount;
    resourceModule = nullptr;
    resourceRefCount = 0;
    DefinerCallMapper mapper;
    EXPECT_EQ(mapper.bindDefiner(), koFailure);
    resourceModule = savedModule;
    resourceRefCount = savedCount;
    EXPECT_EQ(std::getenv("KO_DECOY_LOADED"), nullptr) << "a library named after the host was loaded";
    EXPECT_EQ(mapper.getDefiner(), nullptr);
    auto boxes = koScriptTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "ODBC Btrieve Driver Setup Warning");
}

// The installer calls ConfigDSN through C: with any allocation failing, the platform layer's
// standard containers included, it returns TRUE or FALSE and never lets an exception out; a run
// that reports success stored the data source whole, and one that fails says so to the installer.
TEST(Hardening, NoAllocationFailureEscapesConfigDSNAsAnException) {
    OdbcSandbox sandbox;
    kotest::ScriptedUser user;
    std::string list = attributeList({"DSN=Fault", "DB=/data/f", "UT=ERROR", "AS=512"});
    kotest::failOperatorNewToo(true);
    unsigned successes = 0;
    BOOL ok = FALSE;
    bool threw = false;
    unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            try {
                ok = ConfigDSN(nullptr, ODBC_ADD_DSN, OdbcSandbox::driverName, list.c_str());
            } catch (...) {
                threw = true;
            }
        },
        [&](unsigned n, bool) {
            ASSERT_FALSE(threw) << "run " << n;
            if (!ok) return;
            ++successes;
            EXPECT_EQ(sandbox.storedValue("Fault", "Database"), "/data/f") << "run " << n;
            EXPECT_EQ(sandbox.storedValue("Fault", "ArraySize"), "512") << "run " << n;
        });
    kotest::failOperatorNewToo(false);
    koScriptTakeShownBoxes();
    EXPECT_GT(runs, 10u);
    EXPECT_GE(successes, 1u);
    EXPECT_TRUE(
        ConfigDSN(nullptr, ODBC_REMOVE_DSN, OdbcSandbox::driverName, attributeList({"DSN=Fault"}).c_str()));
}

} // namespace
