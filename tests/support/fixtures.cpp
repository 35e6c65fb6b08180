// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fixtures.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "common/errors.h"
#include "common/log.h"

namespace sondrix::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/sondrix-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary directory from " + pattern);
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(std::string_view name) const { return path_ + "/" + std::string(name); }

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  if (value) {
    ::setenv(name_.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (previous_) {
    ::setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedFileSizeLimit::ScopedFileSizeLimit(std::uint64_t bytes) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, &oldAction_);
  ::getrlimit(RLIMIT_FSIZE, &old_);
  struct rlimit limit = old_;
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max) limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &old_);
  ::sigaction(SIGXFSZ, &oldAction_, nullptr);
}

std::string WriteTextFile(const std::string& path, std::string_view text) {
  std::filesystem::path p(path);
  if (p.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(p.parent_path(), ec);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::optional<std::string> ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

HeadlessTest::HeadlessTest()
    : homeEnv_("SONDRIX_HOME", home.path()), scopedUi_(ui), scopedClock_(clock) {
  logging::Reset();
  ui.SetIdlePollLimit(2'000'000);
  if (!ui.resourceError().empty()) ADD_FAILURE() << ui.resourceError();
}

HeadlessTest::~HeadlessTest() { logging::Reset(); }

void HeadlessTest::WriteSettings(std::string_view text) {
  WriteTextFile(HomeFile("Sondrix.ini"), text);
}

std::vector<std::string> HeadlessTest::ErrorTexts() const {
  std::vector<std::string> texts;
  for (const platform::PopupRecord& popup : ui.popups()) {
    if (popup.kind == platform::PopupKind::Generic && popup.title == "Error") {
      texts.push_back(popup.text);
    }
  }
  return texts;
}

}  // namespace sondrix::test
