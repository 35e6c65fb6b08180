// SPDX-License-Identifier: GPL-3.0-or-later
// Text files of the instruments use "." as the decimal point whatever the
// user's locale. A ScopedCLocale switches the calling thread to the C locale
// for the stdio formatting and scanning done while it lives, and restores the
// thread's previous locale afterwards.
#pragma once

#include <locale.h>

namespace sondrix {

class ScopedCLocale {
 public:
  ScopedCLocale() {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    if (cLocale != locale_t{}) previous_ = uselocale(cLocale);
  }
  ~ScopedCLocale() {
    if (previous_ != locale_t{}) uselocale(previous_);
  }
  ScopedCLocale(const ScopedCLocale&) = delete;
  ScopedCLocale& operator=(const ScopedCLocale&) = delete;

 private:
  locale_t previous_{};
};

}  // namespace sondrix
