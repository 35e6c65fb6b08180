// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <nlohmann/json.hpp>
#include <random>
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

// Text of any bytes (a file name, a value given on the command line) becomes
// well-formed UTF-8 that gives the same bytes back: the escapes checked by
// hand, the result read by another UTF-8 checker (the JSON library's dump,
// which throws on anything else), and random byte strings made of the
// characters that could confuse the escape round-tripped.
TEST(TextFormat, EscapedBytesAreWellFormedUtf8AndComeBackExactly) {
  const std::pair<std::string, std::string> cases[] = {
      {"nerit-9wl.dev", "nerit-9wl.dev"},
      {"m\xe8tre.dev", "m\\xe8tre.dev"},             // Latin-1: no UTF-8
      {"\xc3\xbc" "ber dem Schelf", "\xc3\xbc" "ber dem Schelf"},  // UTF-8 stays
      {"C:\\data\\x1", "C:\\data\\x1"},                // a backslash not before two hex digits stays
      {"\\xe8", "\\x5cxe8"},                          // the escape's own form in the text
      {"\xc0\xaf", "\\xc0\\xaf"},                      // an overlong "/"
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},             // a surrogate
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},    // above U+10FFFF
      {"\xf0\x9f\x8c\x8a", "\xf0\x9f\x8c\x8a"},          // U+1F30A stays
      {"\xe2\x82", "\\xe2\\x82"},                      // cut short
      {std::string("a\0b\n", 4), std::string("a\0b\n", 4)},  // controls stay unless asked
  };
  for (const auto& [bytes, escaped] : cases) {
    EXPECT_EQ(EscapeBytes(bytes), escaped) << escaped;
    EXPECT_EQ(UnescapeBytes(escaped), bytes) << escaped;
  }
  EXPECT_EQ(EscapeBytes("a\tb\r\n\x7f\xc3\xa9", /*controls=*/true), "a\\x09b\\x0d\\x0a\\x7f\xc3\xa9");
  EXPECT_EQ(UnescapeBytes("\\xE8\\x4"), "\xe8\\x4");

  const std::string alphabet = std::string("\\x5cE09af", 9) + std::string("\xe8\xc3\xa9\xed\xa0\xf0\x9f\x80\xff\n\0", 11);
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(random() % 12, ' ');
    for (char& c : bytes) c = alphabet[random() % alphabet.size()];
    for (const bool controls : {false, true}) {
      const std::string escaped = EscapeBytes(bytes, controls);
      ASSERT_EQ(UnescapeBytes(escaped), bytes) << nlohmann::json(escaped).dump();
      ASSERT_NO_THROW(static_cast<void>(nlohmann::json(escaped).dump()));
      if (controls) {
        ASSERT_EQ(escaped.find_first_of(std::string("\n\r\0", 3)), std::string::npos);
      }
    }
  }
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
