// SPDX-License-Identifier: MIT
// The packer as a person uses it: from the command line, on files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "DemoRelease.h"
#include "FileIo.h"
#include "FirmwareStore.h"

namespace fs = std::filesystem;

namespace {

class PackerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("packer-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(tools::WriteFileAtomically(Path(name), bytes), "");
    }
    // Runs the packer; returns its exit status, with its error output in `errors`.
    int Run(const std::string& arguments) {
        const std::string command = std::string(UPDATER_PACK_PATH) + " " + arguments + " 2> " +
                                    Path("stderr.txt") + " > " + Path("stdout.txt");
        const int status = std::system(command.c_str());
        errors = Text(Path("stderr.txt"));
        output = Text(Path("stdout.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string Text(const std::string& path) {
        const auto bytes = tools::ReadFileBytes(path);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const auto name = entry.path().filename().string();
            if (name != "stderr.txt" && name != "stdout.txt") names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
    std::string errors, output;
};

TEST_F(PackerTest, PacksReproduciblyAndUnpacksToTheImage) {
    Write("image.bin", image::DemoImage());
    ASSERT_EQ(Run("--seed 5 " + Path("image.bin") + " " + Path("a.ctr")), 0) << errors;
    ASSERT_EQ(Run("--seed 5 " + Path("image.bin") + " " + Path("b.ctr")), 0) << errors;
    ASSERT_EQ(Run("--seed 6 " + Path("image.bin") + " " + Path("c.ctr")), 0) << errors;
    const auto a = tools::ReadFileBytes(Path("a.ctr"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size(), image::ContainerBytes);
    EXPECT_EQ(a, tools::ReadFileBytes(Path("b.ctr")));
    EXPECT_NE(a, tools::ReadFileBytes(Path("c.ctr")));

    ASSERT_EQ(Run("--unpack " + Path("c.ctr") + " " + Path("back.bin")), 0) << errors;
    EXPECT_NE(output.find("version: 1.6"), std::string::npos) << output;
    EXPECT_EQ(tools::ReadFileBytes(Path("back.bin")), image::DemoImage());
}

struct BadImage {
    const char* name;
    std::size_t length;
    std::size_t index;
    std::uint8_t value;
    const char* reason;
};

class PackerRefusalTest : public PackerTest, public ::testing::WithParamInterface<BadImage> {};

TEST_P(PackerRefusalTest, RefusesWithOneLineAndLeavesNoFile) {
    auto img = image::DemoImage();
    img.resize(GetParam().length);
    if (GetParam().index < img.size()) img[GetParam().index] = GetParam().value;
    Write("image.bin", img);
    EXPECT_EQ(Run(Path("image.bin") + " " + Path("out.ctr")), 1);
    EXPECT_NE(errors.find(GetParam().reason), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(Files(), std::vector<std::string>{"image.bin"});
}

INSTANTIATE_TEST_SUITE_P(Images, PackerRefusalTest,
                         ::testing::Values(BadImage{"Short", 131079, 9999999, 0, "131079 bytes"},
                                           BadImage{"Long", 131081, 9999999, 0, "131081 bytes"},
                                           BadImage{"NoMagic", 131080, 1, 'w', "\"FW\""},
                                           BadImage{"ByteFour", 131080, 4, 1, "byte 4"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PackerTest, UnreadableInputAndUnwritableOutputFail) {
    EXPECT_EQ(Run(Path("missing.bin") + " " + Path("out.ctr")), 1);
    EXPECT_NE(errors.find("cannot read"), std::string::npos);
    Write("image.bin", image::DemoImage());
    EXPECT_EQ(Run(Path("image.bin") + " " + Path("no/such/folder/out.ctr")), 1);
    EXPECT_EQ(Files(), std::vector<std::string>{"image.bin"});
}

TEST_F(PackerTest, UnpackRefusesAShortContainer) {
    Write("short.ctr", std::vector<std::uint8_t>(image::ContainerBytes - 1, 1));
    EXPECT_EQ(Run("--unpack " + Path("short.ctr")), 1);
    EXPECT_NE(errors.find("shorter"), std::string::npos) << errors;
}

TEST_F(PackerTest, HelpAndMisuse) {
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(output.find("Usage"), std::string::npos);
    EXPECT_EQ(Run(""), 2);
    EXPECT_EQ(Run("--seed x " + Path("a") + " " + Path("b")), 2);
}

}  // namespace
