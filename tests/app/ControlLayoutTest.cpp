// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "ControlLayout.h"

namespace {

struct DensityCase {
    int dpi;
    int width, height;        // client area
    int findLeft, findWidth;  // "Find Device"
};

class TwipsTest : public ::testing::TestWithParam<DensityCase> {};

// 15 twips a pixel at 96 dpi, 10 at 144, 7.5 at 192, rounded to the nearest.
TEST_P(TwipsTest, TheTableScalesWithTheDensity) {
    const auto& c = GetParam();
    EXPECT_EQ(app::TwipsToPixels(app::ClientWidthTwips, c.dpi), c.width);
    EXPECT_EQ(app::TwipsToPixels(app::ClientHeightTwips, c.dpi), c.height);
    EXPECT_EQ(app::TwipsToPixels(app::ButtonPlacement[app::FindDevice].left, c.dpi), c.findLeft);
    EXPECT_EQ(app::TwipsToPixels(app::ButtonPlacement[app::FindDevice].width, c.dpi), c.findWidth);
}

INSTANTIATE_TEST_SUITE_P(Densities, TwipsTest,
                         ::testing::Values(DensityCase{96, 336, 273, 108, 121},
                                           DensityCase{144, 504, 410, 161, 182},
                                           DensityCase{192, 672, 546, 215, 242}),
                         [](const auto& info) { return std::to_string(info.param.dpi); });

}  // namespace
