// Where the scaled picture lands in the window: proportions kept, centred.
#include <gtest/gtest.h>

#include "platform/window.h"

namespace {

void expect_rect(const platform::PictureRect& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  EXPECT_EQ(r.x0, x0);
  EXPECT_EQ(r.y0, y0);
  EXPECT_EQ(r.x1, x1);
  EXPECT_EQ(r.y1, y1);
}

TEST(PictureFit, KeepsProportionsWithBarsOnTheLongSide) {
  expect_rect(platform::fit_picture(640, 480, 1024, 768), 0, 0, 1024, 768);  // same shape: no bars
  expect_rect(platform::fit_picture(1024, 768, 1024, 768), 0, 0, 1024, 768);
  expect_rect(platform::fit_picture(640, 480, 1280, 720), 160, 0, 1120, 720);  // bars left and right
  expect_rect(platform::fit_picture(1024, 768, 1920, 1080), 240, 0, 1680, 1080);
  expect_rect(platform::fit_picture(640, 480, 1280, 1024), 0, 32, 1280, 992);  // bars above and below
  expect_rect(platform::fit_picture(320, 240, 1366, 768), 171, 0, 1195, 768);  // odd width: centred, rounded down
}

TEST(PictureFit, DegenerateSizesFillTheWindow) {
  expect_rect(platform::fit_picture(0, 480, 1280, 720), 0, 0, 1280, 720);
  expect_rect(platform::fit_picture(640, -1, 1280, 720), 0, 0, 1280, 720);
  expect_rect(platform::fit_picture(640, 480, 0, 0), 0, 0, 0, 0);
  expect_rect(platform::fit_picture(8192, 8192, 1, 1), 0, 0, 1, 1);
}

}  // namespace
