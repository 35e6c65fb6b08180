// SPDX-License-Identifier: GPL-3.0-or-later
// Watching the log from a test:
//
//   test::LogCapture log(LogLevel::Trace);
//   ... run the decoder ...
//   EXPECT_EQ(log.Texts(LogLevel::Trace).size(), 3u);
//
// Every line written at the capture's level or above is kept, with its
// level. The threshold and the observer that were set before come back
// when the capture ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/log.h"

namespace sondrix::test {

class LogCapture {
 public:
  struct Line {
    LogLevel level;
    std::string text;
  };

  explicit LogCapture(LogLevel level) : previous_(logging::Threshold()) {
    logging::SetThreshold(level);
    logging::SetObserver([this](LogLevel at, std::string_view text) { lines_.push_back({at, std::string(text)}); });
  }
  ~LogCapture() {
    logging::SetObserver({});
    logging::SetThreshold(previous_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<Line>& lines() const { return lines_; }
  // The texts of the lines at `level`, in order.
  std::vector<std::string> Texts(LogLevel level) const {
    std::vector<std::string> texts;
    for (const Line& line : lines_)
      if (line.level == level) texts.push_back(line.text);
    return texts;
  }
  // The texts, at any level, that hold `part`.
  std::vector<std::string> Containing(std::string_view part) const {
    std::vector<std::string> texts;
    for (const Line& line : lines_)
      if (line.text.find(part) != std::string::npos) texts.push_back(line.text);
    return texts;
  }
  void Clear() { lines_.clear(); }

 private:
  LogLevel previous_;
  std::vector<Line> lines_;
};

}  // namespace sondrix::test
