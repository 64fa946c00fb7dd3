// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "DemoRelease.h"
#include "FirmwareStore.h"
#include "ImageCheck.h"

using namespace image;

namespace {

std::vector<std::uint8_t> RandomImage(std::uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<std::uint8_t> bytes(ImageBytes);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(engine());
    return bytes;
}

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& img, std::uint32_t seed) {
    std::int16_t flag = 0;
    MemoryResources none;
    FirmwareStore store(none, flag);
    store.FirmwareImage = img;
    store.NextUniform = SeededUniform(seed);
    store.ScrambleImage();
    return store.ImageContainer;
}

struct LoadRig {
    LoadRig() : store(resources, flag) { store.FirmwareResourceId = ReleaseResourceId; }
    void Put(std::vector<std::uint8_t> container) {
        resources.Put(ResourceType, ReleaseResourceId, std::move(container));
    }
    std::int16_t flag = 0;
    MemoryResources resources;
    FirmwareStore store;
};

// Four groups worked out by hand, so a mistake made alike in packing and
// unpacking (key added before the XOR, another modulus, a key that does not
// run) cannot hide behind a round trip. Starting key 0xA5.
//   group  byte  fillers         sum (mod 256)  key byte  image byte            next key
//   0      0x00  01 02 03        0x06           0xA5      00^A5^06 = 0xA3       0xAB
//   1      0x10  FF FF FF        0x2FD -> 0xFD  0xAB      10^AB^FD = 0x46 'F'   0x1A8 -> 0xA8
//   2      0xFE  80 80 01        0x101 -> 0x01  0xA8      FE^A8^01 = 0x57 'W'   0xA9
//   3      0x5A  10 20 30        0x60           0xA9      5A^A9^60 = 0x93       0x109 -> 0x09
// Every later group is zero: its fillers add nothing, so each image byte is
// the key byte 0x09.
TEST(UnscrambleImage, MatchesAHandComputedContainer) {
    std::vector<std::uint8_t> container(ContainerBytes, 0);
    const std::uint8_t groups[4][4] = {
        {0x00, 0x01, 0x02, 0x03}, {0x10, 0xFF, 0xFF, 0xFF}, {0xFE, 0x80, 0x80, 0x01}, {0x5A, 0x10, 0x20, 0x30}};
    for (std::size_t g = 0; g < 4; ++g)
        for (std::size_t b = 0; b < 4; ++b) container[g * 4 + b] = groups[g][b];
    LoadRig rig;
    rig.store.ImageContainer = container;
    rig.store.UnscrambleImage();
    std::vector<std::uint8_t> expected(ImageBytes, 0x09);
    expected[0] = 0xA3;
    expected[1] = 0x46;
    expected[2] = 0x57;
    expected[3] = 0x93;
    EXPECT_EQ(rig.store.FirmwareImage, expected);
}

TEST(ScrambleImage, UnscrambleRestoresEveryByte) {
    for (std::uint32_t seed : {1u, 2u, 99u}) {
        const auto original = RandomImage(seed * 31);
        std::int16_t flag = 0;
        MemoryResources none;
        FirmwareStore store(none, flag);
        store.ImageContainer = Pack(original, seed);
        store.UnscrambleImage();
        EXPECT_EQ(store.FirmwareImage, original) << "seed " << seed;
    }
}

TEST(ScrambleImage, SeedsGiveDifferentContainersOfOneImage) {
    const auto original = DemoImage();
    const auto a = Pack(original, 1);
    const auto b = Pack(original, 2);
    EXPECT_EQ(a.size(), ContainerBytes);
    EXPECT_NE(a, b);
    EXPECT_EQ(Pack(original, 1), a) << "one seed, one container";
}

TEST(ScrambleImage, FillersNeverZero) {
    const auto container = Pack(RandomImage(5), 3);
    for (std::size_t n = 0; n < container.size(); n += 4)
        for (std::size_t f = 1; f <= 3; ++f) ASSERT_NE(container[n + f], 0) << "group " << n / 4;
}

TEST(ScrambleImage, ClockSeededPackingsDiffer) {
    const auto original = DemoImage();
    std::int16_t flag = 0;
    MemoryResources none;
    FirmwareStore store(none, flag);
    store.FirmwareImage = original;
    store.ScrambleImage();
    const auto first = store.ImageContainer;
    store.ScrambleImage();
    EXPECT_NE(first, store.ImageContainer);
}

struct FillerCase {
    const char* name;
    float r;
    int filler;
};

class FillerTest : public ::testing::TestWithParam<FillerCase> {};

TEST_P(FillerTest, MapsUniformToOneTo255) {
    EXPECT_EQ(FillerFromUniform(GetParam().r), GetParam().filler);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FillerTest,
    ::testing::Values(FillerCase{"Zero", 0.0f, 1}, FillerCase{"Half", 0.5f, 128},
                      // In single precision r * 255 rounds to 255 here; the filler must stay 255.
                      FillerCase{"LargestBelowOne", std::nextafter(1.0f, 0.0f), 255},
                      FillerCase{"OneFromABrokenSource", 1.0f, 255},
                      FillerCase{"NaNFromABrokenSource", std::nanf(""), 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SeededUniform, StaysBelowOne) {
    auto uniform = SeededUniform(4);
    for (int i = 0; i < 100000; ++i) {
        const float r = uniform();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
    }
}

struct LengthCase {
    const char* name;
    std::size_t length;
    std::int16_t flag;
};

class ContainerLengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ContainerLengthTest, AcceptsOnlyAWholeContainer) {
    auto container = Pack(DemoImage(), 9);
    container.resize(GetParam().length, 0x77);
    LoadRig rig;
    rig.Put(container);
    rig.store.LoadFirmwareImage();
    EXPECT_EQ(rig.flag, GetParam().flag);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ContainerLengthTest,
                         ::testing::Values(LengthCase{"OneShort", ContainerBytes - 1, -1},
                                           LengthCase{"Exact", ContainerBytes, 0},
                                           LengthCase{"FourExtraIgnored", ContainerBytes + 4, 0},
                                           LengthCase{"Empty", 0, -1},
                                           LengthCase{"OneGroup", 4, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct HeaderCase {
    const char* name;
    std::array<std::uint8_t, 8> header;
    std::int16_t flag;
    VersionPair version;
};

class ImageHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ImageHeaderTest, ChecksMagicAndByteFour) {
    const auto& c = GetParam();
    auto img = DemoImage();
    std::copy(c.header.begin(), c.header.end(), img.begin());
    LoadRig rig;
    rig.store.ImageVersion = {9, 9};
    rig.Put(Pack(img, 11));
    rig.flag = 0;
    rig.store.LoadFirmwareImage();
    EXPECT_EQ(rig.flag, c.flag);
    EXPECT_EQ(rig.store.ImageVersion, c.version);
    if (c.flag == 0) {
        EXPECT_EQ(rig.store.FirmwareImage, img);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, ImageHeaderTest,
    ::testing::Values(
        HeaderCase{"AnyBytesTwoAndFiveToSeven", {'F', 'W', 0xEE, 0x16, 0, 0xFF, 0xFF, 0xFF}, 0, {1, 6}},
        HeaderCase{"Version115", {'F', 'W', 0, 0x1F, 0, 2, 0, 0}, 0, {1, 15}},
        HeaderCase{"VersionZeroAccepted", {'F', 'W', 0, 0x00, 0, 2, 0, 0}, 0, {0, 0}},
        HeaderCase{"LowerCaseMagic", {'f', 'w', 0, 0x16, 0, 2, 0, 0}, -1, {9, 9}},
        HeaderCase{"SwappedMagic", {'W', 'F', 0, 0x16, 0, 2, 0, 0}, -1, {9, 9}},
        HeaderCase{"ByteFourOneKeepsItsVersion", {'F', 'W', 0, 0x23, 1, 2, 0, 0}, -1, {2, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadFirmwareImage, MissingResourceLeavesTheFlagAtMinusOne) {
    LoadRig rig;
    rig.flag = 0;
    rig.store.LoadFirmwareImage();
    EXPECT_EQ(rig.flag, -1);
}

TEST(LoadFirmwareImage, LooksUpTheResourceIdItIsGiven) {
    LoadRig rig;
    rig.resources.Put(ResourceType, 101, Pack(DemoImage(), 1));
    rig.store.LoadFirmwareImage();
    EXPECT_EQ(rig.flag, -1);
    rig.store.FirmwareResourceId = 101;
    rig.store.LoadFirmwareImage();
    EXPECT_EQ(rig.flag, 0);
}

TEST(LoadFirmwareImage, EveryLoadUnpacksAfresh) {
    LoadRig rig;
    rig.Put(Pack(DemoImage(0x16), 1));
    rig.store.LoadFirmwareImage();
    EXPECT_EQ(rig.store.ImageVersion, (VersionPair{1, 6}));
    rig.Put(Pack(DemoImage(0x17), 1));
    rig.store.LoadFirmwareImage();
    EXPECT_EQ(rig.store.ImageVersion, (VersionPair{1, 7}));
}

struct RefusalCase {
    const char* name;
    std::size_t length;
    std::size_t index;
    std::uint8_t value;
    bool usable;
};

class ImageRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ImageRefusalTest, NamesWhyAnImageIsUnusable) {
    auto img = DemoImage();
    img.resize(GetParam().length);
    if (GetParam().index < img.size()) img[GetParam().index] = GetParam().value;
    EXPECT_EQ(!ImageRefusal(img).has_value(), GetParam().usable);
}

INSTANTIATE_TEST_SUITE_P(Images, ImageRefusalTest,
                         ::testing::Values(RefusalCase{"Demo", ImageBytes, 2, 0x55, true},
                                           RefusalCase{"Short", ImageBytes - 1, 2, 0, false},
                                           RefusalCase{"Long", ImageBytes + 1, 2, 0, false},
                                           RefusalCase{"NoMagic", ImageBytes, 0, 'f', false},
                                           RefusalCase{"ByteFour", ImageBytes, 4, 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DemoImage, IsVersion16WithTheFullLength) {
    const auto img = DemoImage();
    EXPECT_FALSE(ImageRefusal(img).has_value());
    EXPECT_EQ(img[3], 0x16);
    EXPECT_EQ(ImageLengthField(img), 131072u);
    // Blocks differ from each other, so a block written at the wrong address shows.
    EXPECT_NE(std::vector<std::uint8_t>(img.begin() + 8, img.begin() + 2056),
              std::vector<std::uint8_t>(img.begin() + 2056, img.begin() + 4104));
}

}  // namespace
