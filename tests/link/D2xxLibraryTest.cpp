// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdlib>

#include "D2xxLibrary.h"
#include "ZandorModule.h"

using namespace boardlink;

namespace {

TEST(D2xxLibrary, LoadsAndForwardsTheTwelveCalls) {
    D2xxLibrary library({FAKE_D2XX_PATH});
    ASSERT_TRUE(library.Loaded());
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(library.OpenEx("Ambercord Serial Link", FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(library.SetLatencyTimer(handle, 3), FT_INVALID_PARAMETER) << "arguments pass through";
    EXPECT_EQ(library.SetBaudRate(handle, 125000), FT_OK);
    std::uint8_t buffer[8] = {};
    DWORD delivered = 0;
    EXPECT_EQ(library.Read(handle, buffer, 4, &delivered), FT_OK);
    EXPECT_EQ(delivered, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "1250");
    EXPECT_EQ(library.Close(handle), FT_OK);
}

TEST(D2xxLibrary, OpenLinkRunsAgainstTheLibrary) {
    D2xxLibrary library({FAKE_D2XX_PATH});
    ZandorModule link(library);
    link.OpenLink();
    EXPECT_EQ(link.LinkStatus, 0) << "the ignored USB-parameters status does not stop it";
    EXPECT_NE(link.LinkHandle, nullptr);
    link.CloseLink();
}

struct AbsentCase {
    const char* name;
    const char* path;
};

class D2xxAbsentTest : public ::testing::TestWithParam<AbsentCase> {};

TEST_P(D2xxAbsentTest, ReportsDeviceNotFoundInsteadOfCrashing) {
    D2xxLibrary library({GetParam().path});
    EXPECT_FALSE(library.Loaded());
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(library.OpenEx("Ambercord Serial Link", FT_OPEN_BY_DESCRIPTION, &handle),
              FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(library.Purge(handle, 3), FT_INVALID_HANDLE);
    ZandorModule link(library);
    link.OpenLink();
    EXPECT_EQ(link.LinkStatus, FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(link.LinkHandle, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, D2xxAbsentTest,
    ::testing::Values(AbsentCase{"NoSuchFile", "/nonexistent/libftd2xx.so"},
                      AbsentCase{"MissingSymbol", FAKE_D2XX_PARTIAL_PATH}),
    [](const auto& info) { return std::string(info.param.name); });

// Run by the build with LD_LIBRARY_PATH naming the fake's folder.
TEST(D2xxLibrary, DefaultSearchFollowsTheLoaderPath) {
    if (std::getenv("UPDATER_EXPECT_FAKE_D2XX") == nullptr)
        GTEST_SKIP() << "runs only with LD_LIBRARY_PATH set to the fake library's folder";
    D2xxLibrary library;
    EXPECT_TRUE(library.Loaded());
}

}  // namespace
