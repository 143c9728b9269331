#include "platform/linux/linux_module.h"

#include <gtest/gtest.h>

namespace {

using quib::platform::LinuxModule;

TEST(LinuxModuleTest, ExecutablePathNamesThisTestProgram) {
    LinuxModule module;
    const std::string path = module.executablePath();
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path.find("linux_backend_tests"), std::string::npos) << path;
}

TEST(LinuxModuleTest, LoaderFailuresSetTheirSystemErrors) {
    LinuxModule module;
    EXPECT_EQ(module.loadLibrary("/nonexistent/libquibusb.so"), nullptr);
    EXPECT_EQ(quib::platform::lastError(), 126u);
    EXPECT_FALSE(LinuxModule::lastLoaderError().empty());

    void* libc = module.loadLibrary("libc.so.6");
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(module.findSymbol(libc, "strlen"), nullptr);
    EXPECT_EQ(module.findSymbol(libc, "QuibUSBLib_NoSuchEntry"), nullptr);
    EXPECT_EQ(quib::platform::lastError(), 127u);
    EXPECT_TRUE(module.freeLibrary(libc));
}

TEST(LinuxModuleTest, PackagedResourcesAreFoundByTypeWithoutRegardToCase) {
    static const std::uint8_t blob[] = {1, 2, 3};
    quib::platform::registerPackagedResources({{"EXTFILES", 138, blob}});
    LinuxModule module;
    const auto found = module.findResource("extfiles", 138);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->size(), 3u);
    EXPECT_EQ(found->data(), blob);
    EXPECT_FALSE(module.findResource("extfiles", 139).has_value());
    EXPECT_FALSE(module.findResource("RCDATA", 138).has_value());
    quib::platform::registerPackagedResources({});
}

}  // namespace
