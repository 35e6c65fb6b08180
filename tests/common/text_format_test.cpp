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

}  // namespace
}  // namespace sondrix
