// Known answers for the layout (tests/data/layout.cases), worked out by hand
// from the font table.
#include <gtest/gtest.h>

#include <string>

#include "banner/banner.h"
#include "support.h"

namespace tallsay {
namespace {

using test::from_hex;

TEST(LayoutTest, KnownAnswers) {
  static Banner banner;
  for (const auto& c : test::read_cases({"layout.cases"}, 7, 7)) {
    lay_out_banner(c[1], banner);
    EXPECT_EQ(std::stoi(c[2]), banner.width) << c[0];
    for (int r = 0; r < kRowCount; ++r) {
      EXPECT_EQ(from_hex(c[3 + r]), banner.rows[r]) << c[0] << " row " << r;
      EXPECT_EQ(static_cast<int>(from_hex(c[3 + r]).size()), banner.row_length) << c[0];
    }
  }
}

}  // namespace
}  // namespace tallsay
