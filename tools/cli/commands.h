// The subcommands of sondrix-cli. Each takes its arguments with the
// subcommand's own name first (args[0]) and returns the process exit status:
// 0 success, 1 failure, 2 wrong usage. "--help" prints the subcommand's usage.
//
// A new subcommand is a file of its own defining its Run function, declared
// here and entered in the table in main.cpp.
#pragma once

#include <span>

namespace sondrix::cli {

// sondrix-cli config FILE: the device configuration file read with the class
// its device type selects and written back in this program's form.
int RunConfig(std::span<char*> args);

}  // namespace sondrix::cli
