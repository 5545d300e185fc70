// fontconfig keeps its configuration for the life of the process; releasing it after the last
// test lets the leak checker of sanitizer builds see only this module's own allocations.

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

namespace {

class FontconfigCleanup : public testing::Environment {
public:
    void TearDown() override { FcFini(); }
};

const testing::Environment* const kCleanup =
    testing::AddGlobalTestEnvironment(new FontconfigCleanup);

}  // namespace
