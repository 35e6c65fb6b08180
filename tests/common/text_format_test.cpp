// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace sondrix {
namespace {

// Messages and read-outs use a decimal point whatever the user's locale, and
// a text longer than the buffer is cut, never overrun.
TEST(TextFormat, DecimalPointInADecimalCommaLocaleAndLongTextsCut) {
  EXPECT_EQ(Format("Wrong serial number (%08lX).", 0x400012DUL), "Wrong serial number (0400012D).");
  EXPECT_EQ(Format("%s", std::string(5000, 'x').c_str()).size(), 1023u);
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.utf8"))
    GTEST_SKIP() << "no locale with a decimal comma installed";
  const std::string text = Format("%.1lf", 21.0);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(text, "21.0");
}

// Outside text for the log or a terminal: whatever the bytes, one line
// that shows them, nothing that a terminal or a log reader would act on.
TEST(TextFormat, PrintableTextEscapesWhatWouldActOrBreakTheLine) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain text, \u00e9t\u00e9 \u00b0C", "plain text, \u00e9t\u00e9 \u00b0C"},
      {"a\nb\r\x1b[2Jc\x7f\td", "a\\x0ab\\x0d\\x1b[2Jc\\x7f\\x09d"},
      {std::string("nul\0here", 8), "nul\\x00here"},
      {"next\u0085line", "next\\xc2\\x85line"},                           // C1 NEL
      {"sep\u2028arated\u2029", "sep\\xe2\\x80\\xa8arated\\xe2\\x80\\xa9"},  // line and paragraph
      {"txt\u202egnp.exe", "txt\\xe2\\x80\\xaegnp.exe"},                   // right-to-left override
      {"\xff\xc0\xaf\xed\xa0\x80\xe2\x82", "\\xff\\xc0\\xaf\\xed\\xa0\\x80\\xe2\\x82"},  // no UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableText(c.in), c.out) << c.in;
  EXPECT_EQ(PrintableText("a\tb", /*keepTab=*/true), "a\tb");
  EXPECT_EQ(PrintableText("abcdef", false, 4), "abcd...");
}

}  // namespace
}  // namespace sondrix
