#include "meter/pelag_meter.h"

#include "datafile/model_files.h"

namespace sondrix {
namespace {

const ModelInfo& Row() { return ModelRow(Model::Pelag); }

}  // namespace

PelagMeter::PelagMeter(Token token, std::string_view filename, std::string_view portname)
    : Meter(token, filename, portname) {}

PelagMeter::~PelagMeter() = default;

Status PelagMeter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  return NewBinBuffer(out, port);
}

Status PelagMeter::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) {
  return HandOverDataFile(MeterFile::New<PelagFile>(filename, ""), out);
}

int PelagMeter::GetRefLineLen() { return Row().refLineLen; }
int PelagMeter::GetDataLineLen() { return Row().dataLineLen; }
int PelagMeter::GetTraceCount() { return Row().traceCount; }
int PelagMeter::GetInTraceCount() { return Row().inTraceCount; }
int PelagMeter::GetSamplesPerRec() { return Row().samplesPerRec; }
int PelagMeter::GetTraceMap(TraceMap& map) { return FillTraceMap(Row(), map); }

}  // namespace sondrix
