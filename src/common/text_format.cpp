#include "common/text_format.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "common/c_locale.h"

namespace sondrix {

std::string Format(const char* format, ...) {
  const ScopedCLocale cLocale;
  char buffer[1024];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return {};
  return std::string(buffer, static_cast<std::size_t>(std::min<int>(n, sizeof buffer - 1)));
}

}  // namespace sondrix
