#include "platform/linux/linux_registry.h"

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace {

using quib::platform::FileRegistry;
using quib::platform::RegistryType;
using quib::platform::RegistryValue;

TEST(FileRegistryTest, WrittenValuesReadBackWithoutRegardToCase) {
    TempFolder dir;
    FileRegistry registry(dir / "store/registry.json");
    EXPECT_FALSE(registry.readValue("SOFTWARE\\TORVANE\\FWUpdate", "VersionNumber").has_value());
    EXPECT_EQ(quib::platform::lastError(), quib::platform::kErrorFileNotFound);
    EXPECT_FALSE(registry.keyExists("SOFTWARE\\TORVANE\\FWUpdate"));

    const RegistryValue value{RegistryType::Dword, {3, 0, 0, 0}};
    ASSERT_TRUE(registry.writeValue("SOFTWARE\\TORVANE\\FWUpdate", "VersionNumber", value));
    EXPECT_TRUE(registry.keyExists("software\\torvane\\fwupdate"));
    const auto read =
        FileRegistry(dir / "store/registry.json").readValue("Software\\Torvane\\FWUpdate", "versionnumber");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->type, RegistryType::Dword);
    EXPECT_EQ(read->data, value.data);
}

TEST(FileRegistryTest, UnwritableStoreFails) {
    FileRegistry registry("/proc/quib-no-such-folder/registry.json");
    EXPECT_FALSE(registry.writeValue("K", "V", {RegistryType::String, {0, 0}}));
    EXPECT_EQ(quib::platform::lastError(), quib::platform::kErrorAccessDenied);
}

}  // namespace
