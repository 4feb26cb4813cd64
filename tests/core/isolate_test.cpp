// Reading in a child process: the image and parameters come back whole, and a crash, a hang or
// a runaway allocation in the reader fails that read only.

#include "imagefile/isolate.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <vector>

#include "support/picture_bytes.h"

namespace gw {
namespace {

using test::PixelsOf;
using test::RgbImage;

TEST(ReadIsolated, ShipsTheImageAndParametersBack) {
    ImageHolder holder;
    holder.Params.JPEG_Quality = 33;  // kept: the child starts from the caller's parameters
    const ImageError error = ReadIsolated(holder, [](ImageHolder& h) {
        h.Image = RgbImage(
            3, 2, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}, {16, 17, 18}});
        h.Image.AddAlpha(7);
        h.Params.ImageWidth = 3;
        h.Params.Palette = {{1, 1, 1}, {2, 2, 2}};
        h.Params.Comments = {"one", "two"};
        h.Params.FileName = "name";
        return ImageError::None;
    });
    ASSERT_EQ(error, ImageError::None);
    EXPECT_EQ(PixelsOf(holder.Image),
              (std::vector<Rgb>{
                  {1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}, {16, 17, 18}}));
    EXPECT_EQ(holder.Image.Alpha(), std::vector<std::uint8_t>(6, 7));
    EXPECT_EQ(holder.Params.ImageWidth, 3);
    EXPECT_EQ(holder.Params.JPEG_Quality, 33);
    EXPECT_EQ(holder.Params.Palette, (std::vector<Rgb>{{1, 1, 1}, {2, 2, 2}}));
    EXPECT_EQ(holder.Params.Comments, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(holder.Params.FileName, "name");
}

TEST(ReadIsolated, PassesTheReadersErrorOn) {
    ImageHolder holder;
    EXPECT_EQ(ReadIsolated(holder, [](ImageHolder&) { return ImageError::Truncated; }),
              ImageError::Truncated);
}

#ifndef GW_FUZZING
TEST(ReadIsolated, ACrashFailsThatReadOnly) {
    ImageHolder holder;
    holder.Image = RgbImage(1, 1, {{5, 5, 5}});
    EXPECT_EQ(ReadIsolated(holder,
                           [](ImageHolder&) -> ImageError {
                               std::raise(SIGSEGV);
                               return ImageError::None;
                           }),
              ImageError::DecoderCrashed);
    EXPECT_EQ(PixelsOf(holder.Image), (std::vector<Rgb>{Rgb{5, 5, 5}}));  // left as it was
}

TEST(ReadIsolated, AHangEndsAtTheTimeLimit) {
    ImageHolder holder;
    IsolationLimits limits;
    limits.WallSeconds = 1;
    EXPECT_EQ(ReadIsolated(
                  holder,
                  [](ImageHolder&) -> ImageError {
                      for (;;) ::pause();
                  },
                  limits),
              ImageError::DecoderCrashed);
}
#endif

}  // namespace
}  // namespace gw
