#include "meter/a_meter.h"

#include "datafile/model_files.h"

namespace sondrix {
namespace {

const ModelInfo& Row() { return ModelRow(Model::AMeter); }

}  // namespace

AMeter::AMeter(Token token, std::string_view filename, std::string_view portname)
    : Meter(token, filename, portname) {}

AMeter::~AMeter() = default;

Status AMeter::NewBuffer(std::unique_ptr<DataBuffer>& out, DPort& port) {
  return NewBinBuffer(out, port);
}

Status AMeter::NewDataFile(std::unique_ptr<DataFile>& out, std::string_view filename) {
  return HandOverDataFile(MeterFile::New<AFile>(filename, ""), out);
}

int AMeter::GetRefLineLen() { return Row().refLineLen; }
int AMeter::GetDataLineLen() { return Row().dataLineLen; }
int AMeter::GetTraceCount() { return Row().traceCount; }
int AMeter::GetInTraceCount() { return Row().inTraceCount; }
int AMeter::GetSamplesPerRec() { return Row().samplesPerRec; }
int AMeter::GetTraceMap(TraceMap& map) { return FillTraceMap(Row(), map); }

}  // namespace sondrix
