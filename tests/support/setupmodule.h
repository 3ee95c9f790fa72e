#pragma once
// Attaches the test program's copy of the setup layers as the module is attached, with the built
// module's instance so the resource library is found beside it; detached at the program's end.
#include <gtest/gtest.h>

namespace kotest {

class SetupModuleEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

} // namespace kotest
