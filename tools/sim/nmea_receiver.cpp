// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/nmea_receiver.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <numbers>

#include "export/export.h"
#include "sim/report.h"

namespace sondrix::sim {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// What the receiver says about its fix besides the position.
constexpr int kSatellites = 9;
constexpr const char* kHdop = "0.9";
constexpr const char* kAltitude = "12.0,M,-33.0,M";  // antenna above the geoid, geoid separation

// The shortest text that reads back as the same double.
std::string Exact(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string("nan");
}

// "hhmmss.00" and "ddmmyy" of a whole-second UTC time.
void TimeFields(std::int64_t utcMs, std::string& time, std::string& date) {
  const auto t = static_cast<std::time_t>(utcMs / 1000);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[40];
  std::snprintf(text, sizeof text, "%02d%02d%02d.00", tm.tm_hour, tm.tm_min, tm.tm_sec);
  time = text;
  std::snprintf(text, sizeof text, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
  date = text;
}

}  // namespace

TrackPoint ShipTrack::At(double seconds) const {
  const double d = SpeedMetresPerSecond() * seconds / kEarthRadiusM;
  const double h = headingDegrees * kDegree;
  const double lat0 = start.latitude * kDegree;
  const double lat = lat0 + d * std::cos(h);
  const double dpsi = std::log(std::tan(std::numbers::pi / 4 + lat / 2) / std::tan(std::numbers::pi / 4 + lat0 / 2));
  const double q = std::fabs(dpsi) > 1e-12 ? (lat - lat0) / dpsi : std::cos(lat0);
  double lon = start.longitude + d * std::sin(h) / q / kDegree;
  // Wrapped only when it left [-180, 180), so that a longitude inside
  // is not rounded by the wrapping.
  if (lon < -180.0 || lon >= 180.0) lon -= 360.0 * std::floor((lon + 180.0) / 360.0);
  return {lat / kDegree, lon};
}

std::string_view SentenceFaultText(SentenceFault fault) {
  switch (fault) {
    case SentenceFault::kOk: return "ok";
    case SentenceFault::kBadChecksum: return "bad-checksum";
    case SentenceFault::kCut: return "cut";
    case SentenceFault::kNotSent: return "-";
  }
  return "?";
}

void NmeaCounts::Add(const NmeaSecond& s) {
  ++seconds;
  if (!s.sent) {
    ++dropoutSeconds;
    return;
  }
  if (!s.valid) ++invalidFixes;
  for (const SentenceFault f : {s.rmc, s.gga}) {
    if (f == SentenceFault::kNotSent) continue;  // a run stopped between the two
    ++sentences;
    if (f == SentenceFault::kBadChecksum) ++badChecksums;
    if (f == SentenceFault::kCut) ++cut;
  }
}

std::string NmeaSentence(std::string_view body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + std::string(body) + tail;
}

std::string NmeaAngle(double degrees, int degreeDigits, char positive, char negative) {
  // In units of 1e-5 minute, rounded once, so that 59.999996 minutes
  // carry into the degrees instead of printing as 60.
  constexpr long long kUnitsPerMinute = 100000;
  const long long units = std::llround(std::fabs(degrees) * 60.0 * kUnitsPerMinute);
  const long long whole = units / (60 * kUnitsPerMinute);
  const long long rest = units % (60 * kUnitsPerMinute);
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld%02lld.%05lld,%c", degreeDigits, whole, rest / kUnitsPerMinute,
                rest % kUnitsPerMinute, degrees < 0.0 ? negative : positive);
  return text;
}

NmeaReceiver::NmeaReceiver(NmeaSettings settings, std::int64_t startUtcMs)
    : settings_(std::move(settings)), startUtcMs_(startUtcMs) {}

SentenceFault NmeaReceiver::Spoil(std::string& text) {
  ++sentences_;
  const NmeaFaults& f = settings_.faults;
  if (f.cut > 0 && sentences_ % f.cut == 0) {
    // The receiver stops half way and starts a new line: no checksum.
    text = text.substr(0, text.find('*') / 2) + "\r\n";
    return SentenceFault::kCut;
  }
  if (f.badChecksum > 0 && sentences_ % f.badChecksum == 0) {
    const std::size_t star = text.find('*');
    const unsigned sum = static_cast<unsigned>(std::stoul(text.substr(star + 1, 2), nullptr, 16));
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X", (sum + 1) & 0xFF);
    text.replace(star + 1, 2, digits);
    return SentenceFault::kBadChecksum;
  }
  return SentenceFault::kOk;
}

std::optional<NmeaSecond> NmeaReceiver::Next() {
  NmeaSecond s;
  s.second = second_;
  s.utcMs = startUtcMs_ + second_ * 1000;
  s.truth = settings_.track.At(static_cast<double>(second_));
  if (std::fabs(s.truth.latitude) > kTrackLatitudeLimit) return std::nullopt;
  ++second_;
  const NmeaFaults& f = settings_.faults;
  s.sent = !(f.dropout && f.dropout->Holds(s.second));
  s.valid = !(f.invalid && f.invalid->Holds(s.second));
  if (!s.sent) {
    s.rmc = s.gga = SentenceFault::kNotSent;
    return s;
  }
  std::string time;
  std::string date;
  TimeFields(s.utcMs, time, date);
  const std::string& talker = settings_.talker;
  if (s.valid) {
    const std::string latitude = NmeaAngle(s.truth.latitude, 2, 'N', 'S');
    const std::string longitude = NmeaAngle(s.truth.longitude, 3, 'E', 'W');
    char motion[48];
    std::snprintf(motion, sizeof motion, "%.2f,%.2f", settings_.track.speedKnots, settings_.track.headingDegrees);
    char quality[32];
    std::snprintf(quality, sizeof quality, "1,%02d,%s", kSatellites, kHdop);
    s.rmcText = NmeaSentence(talker + "RMC," + time + ",A," + latitude + "," + longitude + "," + motion + "," + date +
                             ",,,A");
    s.ggaText = NmeaSentence(talker + "GGA," + time + "," + latitude + "," + longitude + "," + quality + "," +
                             kAltitude + ",,");
  } else {
    // No fix: what a receiver without satellites sends.
    s.rmcText = NmeaSentence(talker + "RMC," + time + ",V,,,,,,," + date + ",,,N");
    s.ggaText = NmeaSentence(talker + "GGA," + time + ",,,,,0,00,99.9,,M,,M,,");
  }
  s.rmc = Spoil(s.rmcText);
  s.gga = Spoil(s.ggaText);
  if (s.valid && s.rmc == SentenceFault::kOk) dated_ = true;
  s.usable = s.valid && (s.rmc == SentenceFault::kOk || (s.gga == SentenceFault::kOk && dated_));
  return s;
}

std::unique_ptr<NmeaReport> NmeaReport::Open(const std::string& path, std::string& error) {
  std::FILE* file =
      CreateReportFile(path, "second\tutc\tutc_ms\tlatitude\tlongitude\tsent\tfault\trmc\tgga\tusable\n", error);
  if (file == nullptr) return nullptr;
  std::fflush(file);
  return std::unique_ptr<NmeaReport>(new NmeaReport(file, path));
}

void NmeaReport::Add(const NmeaSecond& s) {
  const char* fault = !s.sent ? "dropout" : !s.valid ? "invalid" : "ok";
  const std::string line = std::to_string(s.second) + '\t' + IsoUtc(s.utcMs) + '\t' + std::to_string(s.utcMs) +
                           '\t' + Exact(s.truth.latitude) + '\t' + Exact(s.truth.longitude) + '\t' +
                           (s.sent ? "yes" : "no") + '\t' + fault + '\t' + std::string(SentenceFaultText(s.rmc)) +
                           '\t' + std::string(SentenceFaultText(s.gga)) + '\t' + (s.usable ? "yes" : "no") + '\n';
  std::fputs(line.c_str(), file_.get());
  // A test may read the record while the receiver goes on.
  std::fflush(file_.get());
  totals_.Add(s);
}

bool NmeaReport::Finish(std::string& error) {
  const NmeaCounts& t = totals_;
  std::fprintf(file_.get(), "totals\t%lld\t%lld\t%lld\t%lld\t%lld\t%lld\n", t.seconds, t.sentences, t.badChecksums,
               t.cut, t.dropoutSeconds, t.invalidFixes);
  if (!file_.Close()) {
    error = "cannot write " + path_;
    return false;
  }
  return true;
}

}  // namespace sondrix::sim
