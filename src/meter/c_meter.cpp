#include "meter/c_meter.h"

#include "datafile/model_files.h"

namespace sondrix {
namespace {

const ModelInfo& Row() { return ModelRow(Model::CMeter); }

}  // namespace

CMeter::CMeter(Token token, std::string_view filename, std::string_view portname)
    : Meter(token, filename, portname) {}

CMeter::~CMeter() = default;

Status CMeter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  return NewBinBuffer(out, port);
}

Status CMeter::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) {
  return HandOverDataFile(MeterFile::New<CFile>(filename, ""), out);
}

int CMeter::GetRefLineLen() { return Row().refLineLen; }
int CMeter::GetDataLineLen() { return Row().dataLineLen; }
int CMeter::GetTraceCount() { return Row().traceCount; }
int CMeter::GetInTraceCount() { return Row().inTraceCount; }
int CMeter::GetSamplesPerRec() { return Row().samplesPerRec; }
int CMeter::GetTraceMap(TraceMap& map) { return FillTraceMap(Row(), map); }

}  // namespace sondrix
