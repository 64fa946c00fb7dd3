// SPDX-License-Identifier: MIT
// The release as a Win32 resource ("JPG", 100). Built twice: with the
// release linked in (UPDATER_WITH_RELEASE), and without it.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "FirmwareStore.h"
#include "Win32Resources.h"

namespace {

#ifdef UPDATER_WITH_RELEASE
TEST(ReleaseResource, HoldsTheContainerTheBuildMade) {
    app::Win32Resources resources;
    const auto bytes = resources.Load("JPG", 100);
    ASSERT_TRUE(bytes.has_value());
    std::ifstream file("Z:" UPDATER_RELEASE_CONTAINER, std::ios::binary);
    ASSERT_TRUE(file) << "cannot read the build's container";
    const std::vector<std::uint8_t> built((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    EXPECT_EQ(built.size(), 524320u);
    EXPECT_EQ(*bytes, built);

    std::int16_t flag = 0;
    image::FirmwareStore store(resources, flag);
    store.FirmwareResourceId = 100;
    store.LoadFirmwareImage();
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(store.ImageVersion, (image::VersionPair{1, 6}));
}

TEST(ReleaseResource, OtherNamesAndNumbersAreMissing) {
    app::Win32Resources resources;
    EXPECT_FALSE(resources.Load("JPG", 101));
    EXPECT_FALSE(resources.Load("PNG", 100));
    EXPECT_FALSE(resources.Load("JPG", 0));
    EXPECT_FALSE(resources.Load("JPG", 70000));
}
#else
TEST(ReleaseResource, AProgramWithoutItRefusesTheImage) {
    app::Win32Resources resources;
    EXPECT_FALSE(resources.Load("JPG", 100));
    std::int16_t flag = 0;
    image::FirmwareStore store(resources, flag);
    store.FirmwareResourceId = 100;
    store.LoadFirmwareImage();
    EXPECT_EQ(flag, -1);
}
#endif

}  // namespace
