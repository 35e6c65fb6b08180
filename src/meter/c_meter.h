// CMeter: the attenuation meter (three wavelengths, attenuation traces only). Its constants (trace counts,
// samples per packet, line lengths, trace map) come from the model table
// (source/factories.h); the packets are decoded by a BinBuffer and recorded
// into a CFile. Everything else is the Meter's.
#pragma once

#include <memory>
#include <string_view>

#include "io/data_buffer.h"
#include "io/dport.h"
#include "meter/meter.h"
#include "source/source.h"

namespace sondrix {

class CMeter : public Meter {
 public:
  CMeter(Token token, std::string_view filename, std::string_view portname);

  Status NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) override;
  Status NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) override;
  int GetRefLineLen() override;
  int GetDataLineLen() override;
  int GetTraceCount() override;
  int GetInTraceCount() override;
  int GetSamplesPerRec() override;
  ~CMeter() override;
  int GetTraceMap(TraceMap& map) override;
};

}  // namespace sondrix
