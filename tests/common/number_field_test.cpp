// SPDX-License-Identifier: GPL-3.0-or-later
// TakeNumberField against the definition it must keep: a field's form
// checked first (OldFieldLength in number_field_reference.h, the rule data
// files have always been read by), then its number parsed by std::from_chars. Both take the same
// texts, field after field, and must agree on every result: taken or not,
// the value bit for bit (the sign of zero too), and where the text goes on.
// The texts: the forms at the edges (cut short, signs, exponents, words,
// 2^53 and 2^63, 22 and 23 decimals), a few million generated fields of
// every shape, random strings of field characters, the values a meter
// writes, and every line of the stored recordings. About 8 million fields
// take about two seconds; SONDRIX_LONG_FIELD_TEST=N adds N million texts.
#include "common/number_field.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/fixed_format.h"
#include "common/number_field_reference.h"
#include "build_paths.h"

namespace sondrix {
namespace {

using reference::OldTake;

// ---- The comparison. ----

class FieldCheck {
 public:
  // Takes fields from `text` with both readings, as a line is read, until
  // one fails; every step must agree. Both kinds of number are tried.
  void Check(std::string_view text) {
    CheckAs<double>(text);
    CheckAs<std::int64_t>(text);
  }

  long checked() const { return checked_; }
  long taken() const { return taken_; }
  int failures() const { return failures_; }

 private:
  template <typename Number>
  void CheckAs(std::string_view text) {
    std::string_view mine = text;
    std::string_view old = text;
    for (;;) {
      ++checked_;
      // Values start alike and must stay alike when a take fails.
      Number got = static_cast<Number>(7);
      Number want = static_cast<Number>(7);
      const bool gotTaken = TakeNumberField(mine, got);
      const bool wantTaken = OldTake(old, want);
      const bool same = gotTaken == wantTaken && Bits(got) == Bits(want) && mine.data() == old.data() &&
                        mine.size() == old.size();
      if (!same) {
        Fail(text, std::is_integral_v<Number>, gotTaken, wantTaken, static_cast<double>(got),
             static_cast<double>(want));
        return;
      }
      if (!gotTaken) return;
      ++taken_;
    }
  }

  template <typename Number>
  static std::uint64_t Bits(Number value) {
    if constexpr (std::is_integral_v<Number>) {
      return static_cast<std::uint64_t>(value);
    } else {
      return std::bit_cast<std::uint64_t>(value);
    }
  }

  void Fail(std::string_view text, bool whole, bool gotTaken, bool wantTaken, double got, double want) {
    if (++failures_ > 20) return;
    ADD_FAILURE() << (whole ? "whole number" : "decimal") << " in \"" << Escaped(text) << "\": taken "
                  << gotTaken << " (reference " << wantTaken << "), value " << Exact(got) << " (reference "
                  << Exact(want) << ")";
  }

  static std::string Exact(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
  }

  static std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
      if (c == '\t') {
        out += "\\t";
      } else if (c == '\n') {
        out += "\\n";
      } else if (c == '\r') {
        out += "\\r";
      } else {
        out += c;
      }
    }
    return out;
  }

  long checked_ = 0;
  long taken_ = 0;
  int failures_ = 0;
};

// ---- Generated fields. ----

class FieldMaker {
 public:
  explicit FieldMaker(std::uint64_t seed) : random_(seed) {}

  // One field of any shape, a few separated by blanks, and something after.
  std::string Line() {
    std::string text = Blanks();
    const int fields = Pick(1, 4);
    for (int i = 0; i < fields; ++i) {
      text += Field();
      text += Blanks(i + 1 < fields ? 1 : 0);
    }
    return text;
  }

  // Characters a field may hold and a few it may not, in any order.
  std::string Scramble() {
    static constexpr std::string_view kAlphabet = "0123456789000999.....--++eEeE  \t\nx";
    std::string text;
    const int length = Pick(0, 24);
    for (int i = 0; i < length; ++i) text += kAlphabet[static_cast<std::size_t>(Pick(0, static_cast<int>(kAlphabet.size()) - 1))];
    return text;
  }

  // A value as a meter's data file holds it, five decimals (or two, one).
  std::string MeterValue() {
    static constexpr int kDecimals[] = {5, 5, 5, 2, 1, 0};
    const double magnitude = std::pow(10.0, Real(-6.0, 7.0));
    const double value = Pick(0, 3) == 0 ? -magnitude : magnitude;
    char text[kFixedTextMax + 1];
    const char* end = FormatFixed(text, value, kDecimals[Pick(0, 5)]);
    return std::string(text, static_cast<std::size_t>(end - text));
  }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  double Real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }

  std::string Digits(int count) {
    std::string digits;
    // Runs of zeros and nines find the carries and the edges.
    const int kind = Pick(0, 5);
    for (int i = 0; i < count; ++i) {
      const char digit = kind == 0 ? '0' : kind == 1 ? '9' : static_cast<char>('0' + Pick(0, 9));
      digits += digit;
    }
    return digits;
  }

  // How many digits: mostly few, sometimes up to past 2^53, 2^63 and 22
  // decimals.
  int Count() {
    const int kind = Pick(0, 9);
    if (kind < 6) return Pick(0, 6);
    if (kind < 9) return Pick(7, 20);
    return Pick(21, 30);
  }

  std::string Field() {
    if (Pick(0, 60) == 0) {
      static constexpr std::string_view kWords[] = {"nan", "inf", "-inf", "+nan", "infinity", "NaN", "0x1p3", "1,5"};
      return std::string(kWords[Pick(0, 7)]);
    }
    std::string field;
    switch (Pick(0, 9)) {
      case 0: field += '-'; break;
      case 1: field += '+'; break;
      case 2: field += "--"; break;
      case 3: case 4: field += '-'; break;
      default: break;
    }
    field += Digits(Count());
    if (Pick(0, 3) != 0) {
      field += '.';
      field += Digits(Count());
    }
    if (Pick(0, 7) == 0) {
      field += Pick(0, 1) == 0 ? 'e' : 'E';
      const int sign = Pick(0, 3);
      if (sign == 0) field += '-';
      if (sign == 1) field += '+';
      field += Pick(0, 5) == 0 ? Digits(Pick(0, 4)) : std::to_string(Pick(0, 330));
    }
    switch (Pick(0, 15)) {
      case 0: field += 'x'; break;
      case 1: field += '.'; break;
      case 2: field += 'e'; break;
      case 3: field += '-'; break;
      default: break;
    }
    return field;
  }

  std::string Blanks(int least = 0) {
    static constexpr std::string_view kBlanks = "\t\t\t   \r\n\v\f";
    std::string blanks;
    const int count = Pick(least, least + (Pick(0, 3) == 0 ? 3 : 0));
    for (int i = 0; i < count; ++i) blanks += kBlanks[static_cast<std::size_t>(Pick(0, static_cast<int>(kBlanks.size()) - 1))];
    return blanks;
  }

  std::mt19937_64 random_;
};

TEST(NumberField, EdgeFormsReadAsTheCheckedDefinition) {
  const char* const edges[] = {
      "", " ", "\t", "\n", "0", "-0", "+0", "0.", "-0.", ".", "-.", "+.", ".5", "-.5", "+.5", "-0.0", "+0.0",
      "0.0", "00.000", "1e", "1e+", "1e-", "1e5", "1E-5", "1.5e3", ".5e1", "1.e5", "+1", "+-1", "-+1", "--1",
      "-", "+", "e5", "1x", "1.5x", "1.5.5", "1..5", "12 34", "1\t2\n3", "1\r\n", "0.28692\t0.3", "nan",
      "inf", "-inf", "infinity", "NAN", "1e308", "1e309", "-1e309", "4.9e-324", "1e-400", "2.2250738585072014e-308",
      // 2^53 and its neighbours, as a whole and with decimals.
      "9007199254740991", "9007199254740992", "9007199254740993", "-9007199254740993", "900719925474099.3",
      "900719925474099.5", "90071992547409.93", "0.9007199254740993", "0.9007199254740992", "9.007199254740993",
      "9007199254740991.0", "9007199254740992.0",
      // 17 and more significant digits; 22 and 23 decimals.
      "0.12345678901234567", "1.2345678901234567890", "123456789012345678901234567890",
      "0.1000000000000000000000", "0.10000000000000000000000", "1.0000000000000000000001",
      "1.00000000000000000000001", "0.0000000000000000000001", "0.00000000000000000000001",
      "0.30000000000000004", "0.1", "0.2", "0.3", "2.5", "1e22", "1e23",
      // 2^63 and 10^18 for whole numbers.
      "999999999999999999", "1000000000000000000", "-1000000000000000000", "9223372036854775807",
      "9223372036854775808", "-9223372036854775808", "-9223372036854775809", "000000000000000000001",
      "18446744073709551616", "2147483648", "-2147483649",
  };
  FieldCheck check;
  for (const char* edge : edges) {
    check.Check(edge);
    check.Check(std::string(edge) + "\t0.5");
    check.Check(std::string(" \t") + edge + " 12");
  }
  EXPECT_EQ(check.failures(), 0);
}

TEST(NumberField, MillionsOfGeneratedFieldsReadAsTheCheckedDefinition) {
  long more = 0;
  if (const char* extra = std::getenv("SONDRIX_LONG_FIELD_TEST")) more = std::atol(extra) * 1000000L;
  FieldMaker maker(20261209);
  FieldCheck check;
  for (long i = 0; i < 1500000 + more / 3; ++i) check.Check(maker.Line());
  for (long i = 0; i < 500000 + more / 3; ++i) check.Check(maker.Scramble());
  std::string line;
  for (long i = 0; i < 100000 + more / 60; ++i) {
    // A line of a meter's file: twenty values.
    line.clear();
    for (int v = 0; v < 20; ++v) line += '\t' + maker.MeterValue();
    line += '\n';
    check.Check(line);
  }
  EXPECT_EQ(check.failures(), 0);
  // Most of them were numbers that were taken, not only refusals.
  EXPECT_GT(check.taken(), check.checked() / 3);
  std::printf("%ld fields, %ld taken\n", check.checked(), check.taken());
}

TEST(NumberField, EveryLineOfTheStoredRecordingsReadsAsTheCheckedDefinition) {
  FieldCheck check;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SONDRIX_TEST_DATA_DIR "/recordings")) {
    if (entry.path().extension() != ".dat") continue;
    ++files;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) check.Check(line + '\n');
  }
  EXPECT_GE(files, 3);
  EXPECT_EQ(check.failures(), 0);
  EXPECT_GT(check.taken(), 10000);
}

}  // namespace
}  // namespace sondrix
