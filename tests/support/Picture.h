// An expected picture for the suites that check what the host's worlds hold: straight ARGB
// pixels in composition coordinates, and the check of a world against them.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "host/pixels/Pixels.h"

namespace quillstreak::test {

class Picture {
 public:
  /// width x height transparent black pixels whose top-left one is (left, top).
  Picture(A_long left, A_long top, A_long width, A_long height)
      : left_(left), top_(top), w_(width), h_(height), px_(std::size_t(width * height)) {}

  /// The pixel at (x, y) in composition coordinates.
  PF_Pixel& at(A_long x, A_long y) { return px_[std::size_t((y - top_) * w_ + (x - left_))]; }
  const PF_Pixel& at(A_long x, A_long y) const {
    return px_[std::size_t((y - top_) * w_ + (x - left_))];
  }
  std::vector<PF_Pixel>& pixels() { return px_; }
  A_long left() const { return left_; }
  A_long top() const { return top_; }
  A_long width() const { return w_; }
  A_long height() const { return h_; }

  /// Expects `got` to be this picture: its origin, its size and every pixel (the first eight
  /// differences are reported, each headed by `what`).
  void ExpectEqual(const quillstreak::host::World* got, const std::string& what = "") const {
    ASSERT_NE(got, nullptr) << what;
    EXPECT_EQ(got->def().origin_x, left_) << what;
    EXPECT_EQ(got->def().origin_y, top_) << what;
    ASSERT_EQ(got->width(), w_) << what;
    ASSERT_EQ(got->height(), h_) << what;
    int mismatches = 0;
    for (A_long y = 0; y < h_ && mismatches < 8; ++y) {
      for (A_long x = 0; x < w_ && mismatches < 8; ++x) {
        const PF_Pixel& g = got->at(x, y);
        const PF_Pixel& e = at(x + left_, y + top_);
        if (g.alpha != e.alpha || g.red != e.red || g.green != e.green || g.blue != e.blue) {
          ++mismatches;
          ADD_FAILURE() << what << (what.empty() ? "" : " ") << "pixel (" << x + left_ << ","
                        << y + top_ << "): got ARGB " << int(g.alpha) << " " << int(g.red) << " "
                        << int(g.green) << " " << int(g.blue) << ", want " << int(e.alpha) << " "
                        << int(e.red) << " " << int(e.green) << " " << int(e.blue);
        }
      }
    }
  }

 private:
  A_long left_, top_, w_, h_;
  std::vector<PF_Pixel> px_;
};

}  // namespace quillstreak::test
