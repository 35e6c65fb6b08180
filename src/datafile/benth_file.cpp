// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile/benth_file.h"

#include <algorithm>
#include <string>

#include "common/out_of_memory.h"
#include "source/factories.h"

namespace sondrix {
namespace {

const ModelInfo& Row() { return ModelRow(Model::Benth); }

int SkipOf(const BenthMeterConfig* config) { return config != nullptr ? config->skip : 1; }

// The auxiliary field, auxiliary count 2 and the counts 5 and 6 that the
// meter adds to its trailing text (BenthMeter::WriteRefs).
constexpr int kBenthAuxFields = 4;

}  // namespace

BenthFile::BenthFile(Token token, std::string_view filename, std::string_view portname)
    : MeterFile(token, filename, portname) {}

int BenthFile::GetTraceCount() {
  return benth_ != nullptr ? benth_->traceCount : Row().traceCount;
}

int BenthFile::GetInTraceCount() {
  return benth_ != nullptr ? benth_->inTraceCount : Row().inTraceCount;
}

Status BenthFile::NewConfig() {
  return CatchOutOfMemory([this] {
    auto config = std::make_unique<BenthMeterConfig>(GetTraceCount(), GetInTraceCount());
    benth_ = config.get();
    SetConfig(std::move(config));
  });
}

int BenthFile::TailFields() { return kTailLeadFields + kBenthAuxFields; }

int BenthFile::GetTraceMap(TraceMap& map) {
  FillBenthTraceMap(GetInTraceCount(), SkipOf(benth_), map);
  return GetTraceCount();
}

SourceLine* BenthFile::PackedLine() {
  // The map and the line are made again only when the configuration's
  // counts or skip value are not those they were made for: once a file.
  const std::pair<int, int> made{GetInTraceCount(), SkipOf(benth_)};
  if (packLine_ && mapMadeFor_ == made) return packLine_.get();
  GetTraceMap(map_);
  const auto used = static_cast<int>(std::count_if(map_.begin(), map_.end(),
                                                   [](std::int32_t flag) { return flag != 0; }));
  if (!packLine_ || packLine_->count != used) packLine_ = SourceLine_New(used);
  if (packLine_) mapMadeFor_ = made;
  return packLine_.get();
}

Status BenthFile::ReadConfig(std::FILE* file) {
  const Status result = MeterFile::ReadConfig(file);
  if (result != status::kOk) return result;
  // The column headings: a line that does not begin with a number.
  int c = std::getc(file);
  while (c == '\r' || c == '\n') c = std::getc(file);
  if (c == EOF) return status::kOk;
  std::ungetc(c, file);
  const bool number = (c >= '0' && c <= '9') || c == '-' || c == '+';
  if (!number) {
    while ((c = std::getc(file)) != EOF && c != '\n') {
    }
  }
  return status::kOk;
}

Status BenthFile::ReadData(SourceLine& line) {
  if (SkipOf(benth_) == 1) return MeterFile::ReadData(line);
  SourceLine* packed = PackedLine();
  if (packed == nullptr) return status::kOutOfMemory;
  const Status result = MeterFile::ReadData(*packed);
  const std::size_t count = std::min(line.values.size(), map_.size());
  std::size_t next = 0;
  SourceLine_Copy(*packed, line);
  for (std::size_t i = 0; i < count; ++i) {
    if (map_[i] == 0 || packed->status != status::kOk) {
      line.values[i] = 0.0;
    } else {
      line.values[i] = next < packed->values.size() ? packed->values[next] : 0.0;
      ++next;
    }
  }
  return result;
}

// MeterFile::WriteData leaves lost lines out.
Status BenthFile::WriteData(const SourceLine& line) {
  if (SkipOf(benth_) == 1) return MeterFile::WriteData(line);
  SourceLine* packed = PackedLine();
  if (packed == nullptr) return status::kOutOfMemory;
  SourceLine_Copy(line, *packed);
  std::size_t next = 0;
  for (std::size_t i = 0; i < line.values.size() && i < map_.size(); ++i) {
    if (map_[i] != 0 && next < packed->values.size()) packed->values[next++] = line.values[i];
  }
  return MeterFile::WriteData(*packed);
}

Status BenthFile::OpenWrite(Source* recorded) {
  const Status result = MeterFile::OpenWrite(recorded);
  if (result != status::kOk) return result;
  std::FILE* file = stream();
  std::string headings;
  const int traces = GetTraceCount();
  for (int i = 0; i < traces; ++i) {
    std::string heading;
    benth_->GetHeading(i, heading);
    headings += '\t';
    headings += heading;
  }
  headings += '\n';
  std::fputs(headings.c_str(), file);
  return std::ferror(file) ? status::kWriteFailed : status::kOk;
}

}  // namespace sondrix
