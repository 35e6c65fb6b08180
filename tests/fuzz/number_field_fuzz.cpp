// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes as a line of a data file, its fields taken
// one after the other by TakeNumberField, as decimals and as whole numbers
// (going on behind a field it refuses), and by TakeNumberFields; held to the
// reference reading the field test keeps (number_field_reference.h in
// tests/common: the form checked by the rule data files have always been
// read by, then std::from_chars):
// - both take a field or refuse it alike, with the same value bit for bit
//   (the sign of zero too) and the text going on at the same place; a
//   refused field leaves the value and the text as they were;
// - TakeNumberFields takes what the same number of TakeNumberField calls
//   takes (the first byte says how many values it has room for);
// - every value taken, written back (std::to_chars' shortest text, and the
//   fixed-point text of the data files with the first byte's count of
//   decimals), is taken again: the shortest text as the same value, the
//   fixed-point text as the reference reads it, within half its last
//   decimal.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/fixed_format.h"
#include "common/number_field.h"
#include "common/number_field_reference.h"

namespace {

using sondrix::reference::OldTake;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

template <typename Number>
std::uint64_t Bits(Number value) {
  if constexpr (std::is_integral_v<Number>) {
    return static_cast<std::uint64_t>(value);
  } else {
    return std::bit_cast<std::uint64_t>(value);
  }
}

bool Same(std::string_view a, std::string_view b) { return a.data() == b.data() && a.size() == b.size(); }

// The value written back and taken again.
template <typename Number>
void CheckWrittenBack(Number value, int decimals) {
  char text[400];
  const auto written = std::to_chars(text, text + sizeof text, value);
  Check(written.ec == std::errc());
  std::string_view again(text, static_cast<std::size_t>(written.ptr - text));
  Number reread{};
  Check(sondrix::TakeNumberField(again, reread) && again.empty() && Bits(reread) == Bits(value));
  if constexpr (!std::is_integral_v<Number>) {
    char* const end = sondrix::FormatFixed(text, value, decimals);
    std::string_view fixed(text, static_cast<std::size_t>(end - text));
    std::string_view reference = fixed;
    double got = 7.0;
    double want = 7.0;
    Check(sondrix::TakeNumberField(fixed, got) && fixed.empty());
    Check(OldTake(reference, want) && Bits(got) == Bits(want));
    Check(std::fabs(got - value) <= 0.5 * std::pow(10.0, -decimals) * (1.0 + 1e-9) + std::fabs(value) * 1e-15);
  }
}

// Takes fields from `text` both ways; every step must agree. After a
// refused field both go on behind it (its blanks and its characters up to
// the next blank), to the end of the text. The values taken before the
// first refusal.
template <typename Number>
std::vector<Number> CheckFields(std::string_view text, int decimals) {
  std::vector<Number> taken;
  bool refused = false;
  std::string_view mine = text;
  std::string_view old = text;
  while (!mine.empty()) {
    Number got = static_cast<Number>(7);
    Number want = static_cast<Number>(7);
    const std::string_view before = mine;
    const bool gotTaken = sondrix::TakeNumberField(mine, got);
    const bool wantTaken = OldTake(old, want);
    Check(gotTaken == wantTaken && Bits(got) == Bits(want) && Same(mine, old));
    if (!gotTaken) {
      Check(Same(mine, before) && got == static_cast<Number>(7));
      refused = true;
      mine = sondrix::SkipFieldBlanks(mine);
      std::size_t end = 0;
      while (end < mine.size() && !sondrix::IsFieldBlank(mine[end])) ++end;
      mine.remove_prefix(end);
      old = mine;
      continue;
    }
    Check(mine.size() < before.size());
    if constexpr (!std::is_integral_v<Number>) Check(std::isfinite(got));
    CheckWrittenBack(got, decimals);
    if (!refused) taken.push_back(got);
  }
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t room = data[0] % 16;
  const int decimals = data[0] % (sondrix::kMaxFixedDecimals + 1);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::vector<double> decimalsTaken = CheckFields<double>(text, decimals);
  CheckFields<std::int64_t>(text, decimals);

  std::vector<double> values(room, 7.0);
  std::string_view rest = text;
  const std::size_t count = sondrix::TakeNumberFields(rest, values);
  const std::size_t expected = std::min(room, decimalsTaken.size());
  Check(count == expected);
  for (std::size_t i = 0; i < room; ++i) {
    Check(Bits(values[i]) == Bits(i < count ? decimalsTaken[i] : 7.0));
  }
  // Where the text goes on: after the fields taken, or where the refused
  // one starts (its blanks included, as a single refused take leaves it).
  std::string_view step = text;
  for (std::size_t i = 0; i < count; ++i) {
    double ignored;
    sondrix::TakeNumberField(step, ignored);
  }
  Check(Same(rest, step));
  return 0;
}
