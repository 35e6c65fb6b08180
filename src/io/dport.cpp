// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/dport.h"

#include <array>
#include <cstring>

namespace sondrix {

Status DPort::Open(int /*baud*/) { return status::kPortNoOpen; }
Status DPort::Close() { return status::kPortNoClose; }
Status DPort::BytesAvail() { return status::kPortNoBytesAvail; }
Status DPort::ReadLine(std::string& /*line*/) { return status::kPortNoReadLine; }
Status DPort::Sync() { return status::kPortNoSync; }
Status DPort::Reset() { return status::kPortNoReset; }
Status DPort::SaveRaw() { return status::kPortNoSaveRaw; }
Status DPort::PromptForPort(std::string_view /*deviceName*/, std::string& /*name*/) {
  return status::kPortNoPromptForPort;
}
Status DPort::BufferSize() { return status::kPortNoBufferSize; }
Status DPort::Search(const std::uint8_t* /*pattern*/, int /*length*/, int /*maxBytes*/) {
  return status::kPortNoSearch;
}
Status DPort::Read(std::uint8_t* /*buffer*/, int /*count*/) { return status::kPortNoRead; }
Status DPort::Write(const std::uint8_t* /*buffer*/, int /*count*/) {
  return status::kPortNoWrite;
}
Status DPort::SetName(std::string_view /*name*/) { return status::kPortNoSetName; }
Status DPort::GetName(std::string& /*name*/) { return status::kPortNoGetName; }
Status DPort::Reopen(int /*baud*/) { return status::kPortNoOpen; }
Status DPort::SyncCapture() { return status::kOk; }
Status DPort::DiscardInput() { return status::kOk; }
DPort::~DPort() = default;

void CleanPortLine(std::string& text) {
  std::size_t kept = 0;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 1 && byte <= 127) text[kept++] = c;
  }
  while (kept > 0 && (text[kept - 1] == ' ' || text[kept - 1] == '\r')) --kept;
  text.resize(kept);
}

Status DPort::SearchWith(const std::uint8_t* pattern, int length, int maxBytes,
                         const std::function<int()>& nextByte) {
  if (pattern == nullptr || length < 1 || length > kSearchWindow) return status::kBadArgument;
  std::array<std::uint8_t, kSearchWindow> window{};
  const Status result = Read(window.data(), length);
  if (result != status::kOk) return result;
  const auto size = static_cast<std::size_t>(length);
  std::int64_t consumed = length;
  while (std::memcmp(window.data(), pattern, size) != 0 && consumed <= maxBytes) {
    std::memmove(window.data(), window.data() + 1, size - 1);
    const int byte = nextByte();
    if (byte < 0) return byte;
    window[size - 1] = static_cast<std::uint8_t>(byte);
    ++consumed;
  }
  return consumed > maxBytes ? status::kUnrecognisedData : status::kOk;
}

bool DPort::ResetKeepsStream() { return false; }
double DPort::ReplayFraction() { return -1.0; }
long long DPort::StreamOffset() { return -1; }

}  // namespace sondrix
