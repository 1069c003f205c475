// Known answers for the layout, worked out by hand from the font table.
#include <gtest/gtest.h>

#include <string>

#include "banner/banner.h"
#include "support.h"

namespace tallsay {
namespace {

using test::from_hex;

struct LayoutCase {
  const char* name;
  std::string text;
  int width;
  const char* rows[kRowCount];  // hex
};

const LayoutCase kLayoutCases[] = {
    {"Hi",
     "Hi",
     9,
     {"25 20 20 20 25 20 20 96 20", "25 8B 8B 8B 25 20 96 25 20", "25 20 20 20 25 20 20 25 20",
      "96 20 20 20 96 20 96 96 96"}},
    {"A_space_b",
     "A b",
     14,
     {"8B 96 96 96 8B 20 20 20 20 25 20 20 20 20", "25 20 20 20 25 20 20 20 20 25 8B 96 96 8B",
      "25 96 96 96 25 20 20 20 20 25 20 20 20 25", "96 20 20 20 96 20 20 20 20 96 96 96 96 20"}},
    {"control_then_x",
     "\x01x",
     5,
     {"01 20 20 20 20 20", "01 96 8B 20 8B 96", "01 20 8B 96 8B 20", "01 96 20 20 20 96"}},
    {"empty", "", 0, {"", "", "", ""}},
    {"one_space", " ", 2, {"20 20", "20 20", "20 20", "20 20"}},
    {"two_spaces",
     "  ",
     5,
     {"20 20 20 20 20", "20 20 20 20 20", "20 20 20 20 20", "20 20 20 20 20"}},
    {"leading_space", " !", 4, {"20 20 20 25", "20 20 20 25", "20 20 20 20", "20 20 20 96"}},
    {"trailing_space", "! ", 4, {"25 20 20 20", "25 20 20 20", "20 20 20 20", "96 20 20 20"}},
    {"exclamation", "!", 1, {"25", "25", "20", "96"}},
    {"del_alone", "\x7F", 0, {"", "", "", ""}},
    {"del_then_glyph", "\x7F!", 2, {"20 25", "20 25", "20 20", "20 96"}},
    {"high_byte_alone", "\xE9", 0, {"", "", "", ""}},
    {"high_byte_between",
     "!\x80!",
     4,
     {"25 20 20 25", "25 20 20 25", "20 20 20 20", "96 20 20 96"}},
    {"tab_before_glyph", "\t!", 1, {"09 25", "09 25", "09 20", "09 96"}},
    {"glyph_then_tab", "!\t!", 3, {"25 20 09 25", "25 20 09 25", "20 20 09 20", "96 20 09 96"}},
    {"lone_cr", "\r", 0, {"0D", "0D", "0D", "0D"}},
    {"double_quote_inner_blank", "\"", 3, {"25 20 25", "96 20 96", "20 20 20", "20 20 20"}},
    {"descender_g",
     "g",
     5,
     {"20 20 20 20 20", "8B 96 96 96 25", "96 8B 8B 8B 25", "20 8B 8B 8B 96"}},
    {"descender_j", "j", 4, {"20 20 20 96", "20 20 96 25", "20 20 20 25", "96 8B 8B 96"}},
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << c.name;
}

class LayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, KnownAnswer) {
  const LayoutCase& c = GetParam();
  Banner banner;
  lay_out_banner(c.text, banner);
  EXPECT_EQ(c.width, banner.width);
  for (int r = 0; r < kRowCount; ++r) {
    EXPECT_EQ(from_hex(c.rows[r]), std::string(banner.rows[r])) << "row " << r;
    EXPECT_EQ(static_cast<int>(std::string(banner.rows[r]).size()), banner.row_length);
  }
}

INSTANTIATE_TEST_SUITE_P(Banner, LayoutTest, testing::ValuesIn(kLayoutCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(LayoutTest, FullLineOfWideGlyphsFillsTheRows) {
  const std::string text(kMaxTextBytes, 'H');
  Banner banner;
  lay_out_banner(text, banner);
  const int expected = kMaxTextBytes * 5 + (kMaxTextBytes - 1);  // columns and gaps
  EXPECT_EQ(expected, banner.width);
  EXPECT_EQ(expected, banner.row_length);
  EXPECT_EQ(kRowBytes - 2, expected);  // with its NUL, one byte of the row is left
  std::string row0;
  for (int i = 0; i < kMaxTextBytes; ++i)
    row0 += from_hex(i + 1 < kMaxTextBytes ? "25 20 20 20 25 20" : "25 20 20 20 25");
  EXPECT_EQ(row0, std::string(banner.rows[0]));
}

TEST(LayoutTest, EveryByteValueKeepsRowsEvenAndWidthApartFromControls) {
  for (int ch = 0x01; ch <= 0xFF; ++ch) {
    const std::string text = {static_cast<char>(ch), 'H', static_cast<char>(ch)};
    Banner banner;
    lay_out_banner(text, banner);
    const int controls = ch < 0x20 ? 2 : 0;
    for (const auto& row : banner.rows)
      ASSERT_EQ(banner.row_length, static_cast<int>(std::string(row).size())) << ch;
    ASSERT_EQ(banner.row_length - controls, banner.width) << ch;
  }
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
