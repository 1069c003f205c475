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
  const auto cases = test::read_cases("layout.cases");
  ASSERT_EQ(19u, cases.size());
  Banner banner;
  for (const auto& c : cases) {
    lay_out_banner(c[1], banner);
    EXPECT_EQ(std::stoi(c[2]), banner.width) << c[0];
    for (int r = 0; r < kRowCount; ++r) {
      EXPECT_EQ(from_hex(c[3 + r]), banner.rows[r]) << c[0] << " row " << r;
      EXPECT_EQ(static_cast<int>(from_hex(c[3 + r]).size()), banner.row_length) << c[0];
    }
  }
}

TEST(LayoutTest, FullLineOfWideGlyphsFillsTheRows) {
  Banner banner;
  lay_out_banner(std::string(kMaxTextBytes, 'H'), banner);
  const int expected = kMaxTextBytes * 5 + (kMaxTextBytes - 1);  // columns and gaps
  EXPECT_EQ(expected, banner.width);
  EXPECT_EQ(kRowBytes - 2, banner.row_length);  // with its NUL, one byte of the row is left
  std::string row0;
  for (int i = 0; i < kMaxTextBytes; ++i) row0 += from_hex("25 20 20 20 25 20");
  row0.pop_back();
  EXPECT_EQ(row0, banner.rows[0]);
}

TEST(GlyphColumnsTest, DropsEmptyEdgesKeepsInnerColumns) {
  const struct {
    unsigned char ch;
    const char* columns;
  } cases[] = {{'!', "4F"}, {'"', "07 00 07"}, {'i', "44 7D 40"}, {'b', "7F 48 44 44 38"},
               {0x7F, ""},  {' ', ""},         {0x80, ""},        {0x1F, ""}};
  for (const auto& c : cases) {
    const GlyphColumns run = glyph_columns(c.ch);
    EXPECT_EQ(from_hex(c.columns), std::string(reinterpret_cast<const char*>(run.columns),
                                               static_cast<std::size_t>(run.count)))
        << int{c.ch};
  }
}

}  // namespace
}  // namespace tallsay
