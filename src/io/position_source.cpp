// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/position_source.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

#include "common/text_format.h"
#include "common/text_list.h"
#include "common/utils.h"

namespace sondrix {
namespace {

constexpr LinkRole kReceiverRole{"position receiver", "receiver", "fixes"};

// NMEA sentences on a line link (a serial receiver, UDP datagrams).
class LinkPositionSource final : public PositionSource {
 public:
  explicit LinkPositionSource(std::unique_ptr<LineLink> link) : link_(std::move(link)) {}

  bool Poll(std::vector<NmeaFix>& fixes) override {
    const bool ok = link_->Poll([&](std::string_view sentence) { TakeSentence(sentence, fixes); });
    lost_ = link_->Lost();
    notice_ = link_->Notice();
    own_.malformed = link_->spoiled();
    return ok;
  }
  int InputHandle() const override { return link_->InputHandle(); }
  std::string Describe() const override { return link_->Describe(); }
  const LineLink& link() const { return *link_; }

 private:
  std::unique_ptr<LineLink> link_;
};

std::unique_ptr<PositionSource> OnLink(std::unique_ptr<LineLink> link) {
  if (!link) return nullptr;
  return std::make_unique<LinkPositionSource>(std::move(link));
}

}  // namespace

void PositionSource::TakeSentence(std::string_view sentence, std::vector<NmeaFix>& fixes) {
  NmeaFix fix;
  if (!sentence.empty() && parser_.Parse(sentence, fix) == NmeaParser::Result::Fix) fixes.push_back(fix);
}

PositionCounts PositionSource::Counts() const {
  PositionCounts counts = own_;
  counts.malformed += splitter_.spoiled();
  counts.badChecksums += parser_.badChecksums();
  counts.malformed += parser_.malformed();
  counts.invalid += parser_.invalid();
  counts.undated += parser_.undated();
  return counts;
}

std::unique_ptr<PositionSource> OpenUdpPositionSource(int port, std::string& error, bool shared) {
  return OnLink(OpenUdpLink(port, shared, kReceiverRole, error));
}

int UdpPort(const PositionSource& source) {
  const auto* onLink = dynamic_cast<const LinkPositionSource*>(&source);
  return onLink != nullptr ? UdpLinkPort(onLink->link()) : -1;
}

std::unique_ptr<PositionSource> OpenSerialPositionSource(std::string_view port, long baud, std::string& error) {
  return OnLink(OpenSerialLink(port, baud, kReceiverRole, error));
}

namespace {

// A port number 1 ... 65535 written in full, else 0.
int PortNumber(std::string_view text) {
  int port = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) return 0;
  return port;
}

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT" after "gpsd:".
bool ParseGpsdAddress(std::string_view text, PositionSpec& spec) {
  std::string_view host = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && (rest.front() != ':' || rest.size() == 1)) return false;
    if (!rest.empty()) port = rest.substr(1);
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (port.empty()) return false;
  }
  if (host.empty() || host.find_first_of(" \t[]") != std::string_view::npos) return false;
  spec.name = std::string(host);
  if (!port.empty() && (spec.port = PortNumber(port)) == 0) return false;
  return true;
}

constexpr PositionSourceForm kSourceForms[] = {
    {PositionSpec::Kind::Serial, "COM2 ... COM8", "NMEA 0183 on a serial line", {"COM1 ... COM8"}},
    {PositionSpec::Kind::Serial, "a device path", "NMEA 0183 on a serial line", {"a device path (/dev/ttyUSB1)"}},
    {PositionSpec::Kind::Udp, "udp:PORT", "NMEA datagrams on the network, the port taken alone", {"udp:PORT"}},
    {PositionSpec::Kind::Udp, "udp:PORT:shared", "shared with other listeners of a broadcast", {"udp:PORT:shared"}},
    {PositionSpec::Kind::Gpsd, "gpsd[:HOST[:PORT]]", "", {"gpsd", "gpsd:HOST", "gpsd:HOST:PORT"}},
};

// "give COM1 ... COM8, a device path (/dev/ttyUSB1), ... or gpsd:HOST:PORT".
std::string SpelledForms() {
  std::vector<std::string> forms;
  for (const PositionSourceForm& row : kSourceForms) {
    for (const std::string_view form : row.spelled) {
      if (!form.empty()) forms.emplace_back(form);
    }
  }
  return JoinList(forms, ", ", " or ");
}

}  // namespace

std::span<const PositionSourceForm> PositionSourceForms() { return kSourceForms; }

std::string PositionSourceList() {
  std::vector<std::string> groups;
  std::string group;
  for (std::size_t k = 0; k < std::size(kSourceForms); ++k) {
    const PositionSourceForm& row = kSourceForms[k];
    group += (group.empty() ? "" : " or ") + std::string(row.syntax);
    if (k + 1 < std::size(kSourceForms) && !row.reads.empty() && kSourceForms[k + 1].reads == row.reads) continue;
    if (!row.reads.empty()) group += " (" + std::string(row.reads) + ")";
    groups.push_back(std::move(group));
    group.clear();
  }
  return JoinList(groups, ", ", " or ");
}

std::optional<PositionSpec> ParsePositionSpec(std::string_view spec, std::string& error) {
  PositionSpec parsed;
  if (IsPortName(spec) != 0 || (spec.size() > 1 && spec.front() == '/')) {
    parsed.kind = PositionSpec::Kind::Serial;
    parsed.name = std::string(spec);
    if (IsPortName(spec) != 0) parsed.name = "COM" + std::string(1, spec[3]);
    return parsed;
  }
  if (spec.size() > 4 && stricmp(spec.substr(0, 4), "udp:") == 0) {
    parsed.kind = PositionSpec::Kind::Udp;
    std::string_view port = spec.substr(4);
    if (port.size() > kSharedSuffix.size() &&
        stricmp(port.substr(port.size() - kSharedSuffix.size()), kSharedSuffix) == 0) {
      parsed.shared = true;
      port.remove_suffix(kSharedSuffix.size());
    }
    if ((parsed.port = PortNumber(port)) != 0) return parsed;
  } else if (stricmp(spec.substr(0, 4), "gpsd") == 0 && (spec.size() == 4 || spec[4] == ':')) {
    parsed.kind = PositionSpec::Kind::Gpsd;
    parsed.name = "localhost";
    parsed.port = kGpsdPort;
    if (spec.size() == 4 || ParseGpsdAddress(spec.substr(5), parsed)) return parsed;
  }
  error = "\"" + std::string(spec) + "\" is no position source: give " + SpelledForms();
  return std::nullopt;
}

std::unique_ptr<PositionSource> OpenPositionSource(std::string_view spec, long baud, std::string& error) {
  const std::optional<PositionSpec> parsed = ParsePositionSpec(spec, error);
  if (!parsed) return nullptr;
  switch (parsed->kind) {
    case PositionSpec::Kind::Serial:
      return OpenSerialPositionSource(parsed->name, baud, error);
    case PositionSpec::Kind::Udp:
      return OpenUdpPositionSource(parsed->port, error, parsed->shared);
    case PositionSpec::Kind::Gpsd:
      return OpenGpsdPositionSource(parsed->name, parsed->port, error);
  }
  return nullptr;
}

}  // namespace sondrix
