// SPDX-License-Identifier: GPL-3.0-or-later
// BinMeter: what the four absorption/attenuation meter models share. They
// differ only in their row of the model table (trace counts, samples per
// packet, line lengths, trace map: source/factories.h) and in the data-file
// class they record into; their packets are decoded by a BinBuffer.
#pragma once

#include <memory>
#include <string_view>

#include "datafile/model_files.h"
#include "io/data_buffer.h"
#include "io/dport.h"
#include "meter/meter.h"
#include "source/factories.h"

namespace sondrix {

template <Model kModel, class File>
class BinMeter : public Meter {
 public:
  using Meter::Meter;

  Status NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) override {
    return NewBinBuffer(out, port);
  }
  Status NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) override {
    return HandOverDataFile(MeterFile::New<File>(filename, ""), out);
  }
  int GetRefLineLen() override { return Row().refLineLen; }
  int GetDataLineLen() override { return Row().dataLineLen; }
  int GetTraceCount() override { return Row().traceCount; }
  int GetInTraceCount() override { return Row().inTraceCount; }
  int GetSamplesPerRec() override { return Row().samplesPerRec; }
  int GetTraceMap(TraceMap& map) override { return FillTraceMap(Row(), map); }

 private:
  static const ModelInfo& Row() { return ModelRow(kModel); }
};

}  // namespace sondrix
