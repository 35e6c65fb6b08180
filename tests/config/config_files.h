// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the configuration tests: configuration text in and out of
// temporary streams, and a small device file per layout.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "common/file.h"
#include "common/status.h"

namespace sondrix::test {

using Stream = OwnedFile;

// A temporary stream holding `text`, positioned at its start.
inline Stream TextStream(std::string_view text) {
  Stream file(std::tmpfile());
  if (file) {
    std::fwrite(text.data(), 1, text.size(), file.get());
    std::rewind(file.get());
  }
  return file;
}

// What `write(stream)` puts into a stream.
template <typename Writer>
std::string Written(Writer write, Status* result = nullptr) {
  Stream file(std::tmpfile());
  const Status status = write(file.get());
  if (result != nullptr) *result = status;
  std::string text;
  std::rewind(file.get());
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
  return text;
}

// The common header as this program writes it.
inline std::string Header(std::string_view name, std::string_view serial, int version,
                          std::string_view depth = "0.000000\t0.003500",
                          std::string_view baud = "19200",
                          std::string_view path = "0.250000") {
  std::string text;
  text.append(name).append("\n");
  text.append(serial).append("\t\t; Serial number\n");
  text.append(std::to_string(version)).append("\t; structure version number\n");
  text.append("Reserved\n");
  text.append(depth).append("\t\t; Depth calibration\n");
  text.append(baud).append("\t\t\t; Baud rate\n");
  text.append(path).append("\t\t\t; Path length (meters)\n");
  return text;
}

}  // namespace sondrix::test
