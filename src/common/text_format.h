// printf-style formatting into a std::string with a decimal point whatever
// the user's locale (the messages and read-outs of the program).
#pragma once

#include <string>

namespace sondrix {

// The text `format` makes of the arguments, cut at 1023 characters.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sondrix
