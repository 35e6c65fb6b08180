#include "datafile/model_files.h"

#include <algorithm>
#include <cstdlib>

namespace sondrix {

const ModelInfo& ModelRow(Model model) {
  for (const ModelInfo& row : Models())
    if (row.model == model) return row;
  std::abort();  // every model has a row
}

int FillTraceMap(const ModelInfo& row, TraceMap& map) {
  map.fill(0);
  const std::size_t n = std::min(row.traceMap.size(), map.size());
  std::copy_n(row.traceMap.begin(), n, map.begin());
  return row.traceCount;
}

AFile::AFile(Token token, std::string_view filename, std::string_view portname)
    : MeterFile(token, filename, portname) {}
AFile::~AFile() = default;
int AFile::GetTraceCount() { return ModelRow(Model::AMeter).traceCount; }
int AFile::GetInTraceCount() { return ModelRow(Model::AMeter).inTraceCount; }

CFile::CFile(Token token, std::string_view filename, std::string_view portname)
    : MeterFile(token, filename, portname) {}
CFile::~CFile() = default;
int CFile::GetTraceCount() { return ModelRow(Model::CMeter).traceCount; }
int CFile::GetInTraceCount() { return ModelRow(Model::CMeter).inTraceCount; }

PelagFile::PelagFile(Token token, std::string_view filename, std::string_view portname)
    : MeterFile(token, filename, portname) {}
PelagFile::~PelagFile() = default;
int PelagFile::GetTraceCount() { return ModelRow(Model::Pelag).traceCount; }
int PelagFile::GetInTraceCount() { return ModelRow(Model::Pelag).inTraceCount; }
int PelagFile::GetTraceMap(TraceMap& map) { return FillTraceMap(ModelRow(Model::Pelag), map); }

NeritFile::NeritFile(Token token, std::string_view filename, std::string_view portname)
    : MeterFile(token, filename, portname) {}
NeritFile::~NeritFile() = default;
int NeritFile::GetTraceCount() { return ModelRow(Model::Nerit).traceCount; }
int NeritFile::GetInTraceCount() { return ModelRow(Model::Nerit).inTraceCount; }
int NeritFile::GetTraceMap(TraceMap& map) { return FillTraceMap(ModelRow(Model::Nerit), map); }

}  // namespace sondrix
