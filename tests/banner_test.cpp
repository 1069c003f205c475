// Known answers for the layout (tests/data/layout.cases), worked out by hand
// from the font table, and every glyph against the font (tests/data/font.cases).
#include <gtest/gtest.h>

#include <string>

#include "banner/banner.h"
#include "banner/letter_glyphs.h"
#include "support.h"

namespace tallsay {
namespace {

using test::from_hex;

TEST(LayoutTest, KnownAnswers) {
  static Banner banner;
  for (const auto& c : test::read_cases({"layout.cases"}, 7, 8)) {
    lay_out_banner(c[1], banner, c.size() == 8);
    EXPECT_EQ(std::stoi(c[2]), banner.width) << c[0];
    for (int r = 0; r < kRowCount; ++r) {
      EXPECT_EQ(from_hex(c[3 + r]), banner.rows[r]) << c[0] << " row " << r;
      EXPECT_EQ(static_cast<int>(from_hex(c[3 + r]).size()), banner.row_length) << c[0];
    }
  }
}

// Each glyph of the built-in font (font.cases) as the bytes draw them, and
// each letter of the 5x8 font as its UTF-8 draws it under --utf8.
TEST(LayoutTest, EveryGlyphDrawsItsFontColumnsWithoutTheEmptyEdges) {
  static Banner banner;
  auto cases = test::read_cases({"font.cases"}, 2, 2);
  for (const Letter& letter : kLetters) {
    const int code = letter.code;
    std::string text = code < 0x800 ? std::string(1, static_cast<char>(0xC0 | code >> 6))
                                    : std::string({static_cast<char>(0xE0 | code >> 12),
                                                   static_cast<char>(0x80 | (code >> 6 & 0x3F))});
    text += static_cast<char>(0x80 | (code & 0x3F));
    cases.push_back({text, std::string(reinterpret_cast<const char*>(letter.columns), 5), "utf8"});
  }
  for (const auto& c : cases) {
    std::string columns = c.size() == 3 ? c[1] : from_hex(c[1]);
    const std::size_t first = columns.find_first_not_of('\0');
    columns = first == std::string::npos
                  ? ""
                  : columns.substr(first, columns.find_last_not_of('\0') - first + 1);
    lay_out_banner(c[0], banner, c.size() == 3);
    std::string drawn;
    for (int at = 0; at < banner.row_length; ++at) {
      int column = 0;
      for (int r = 0; r < kRowCount; ++r) column |= cell_pixels(banner.rows[r][at]) << (2 * r);
      drawn += static_cast<char>(column);
    }
    EXPECT_EQ(columns, drawn) << c[0];
    EXPECT_EQ(static_cast<int>(columns.size()), banner.width) << c[0];
  }
}

}  // namespace
}  // namespace tallsay
