#include "meter/nerit_meter.h"

#include "common/errors.h"
#include "datafile/model_files.h"

namespace sondrix {
namespace {

const ModelInfo& Row() { return ModelRow(Model::Nerit); }

}  // namespace

NeritMeter::NeritMeter(Token token, std::string_view filename, std::string_view portname)
    : Meter(token, filename, portname) {}

NeritMeter::~NeritMeter() = default;

Status NeritMeter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  DebugMsg("Nerit new buffer", 0);
  const Status result = NewBinBuffer(out, port);
  DebugMsg("Nerit end new buffer", 0);
  return result;
}

Status NeritMeter::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) {
  return HandOverDataFile(MeterFile::New<NeritFile>(filename, ""), out);
}

int NeritMeter::GetRefLineLen() { return Row().refLineLen; }
int NeritMeter::GetDataLineLen() { return Row().dataLineLen; }
int NeritMeter::GetTraceCount() { return Row().traceCount; }
int NeritMeter::GetInTraceCount() { return Row().inTraceCount; }
int NeritMeter::GetSamplesPerRec() { return Row().samplesPerRec; }
int NeritMeter::GetTraceMap(TraceMap& map) { return FillTraceMap(Row(), map); }

int NeritMeter::HasExtTemp() {
  const MeterConfig* config = meterConfig();
  return config && (config->auxCapabilities & 1) != 0 ? 1 : 0;
}

}  // namespace sondrix
