// The data files of the four absorption/attenuation meter models. They
// differ only in their trace counts and trace maps, which come from the
// model table (source/factories.h). The absorption-only and attenuation-only
// files report an empty trace map, as they always have; the a+c files report
// their meter's map.
#pragma once

#include <string_view>

#include "datafile/meter_file.h"
#include "source/factories.h"
#include "source/source.h"

namespace sondrix {

// The model table's row of a model.
const ModelInfo& ModelRow(Model model);
// Clears all entries of `map`, writes the model's trace map and returns the
// model's trace count.
int FillTraceMap(const ModelInfo& row, TraceMap& map);

class AFile : public MeterFile {
 public:
  AFile(Token token, std::string_view filename, std::string_view portname);
  int GetTraceCount() override;
  int GetInTraceCount() override;
  ~AFile() override;
};

class CFile : public MeterFile {
 public:
  CFile(Token token, std::string_view filename, std::string_view portname);
  int GetTraceCount() override;
  int GetInTraceCount() override;
  ~CFile() override;
};

class PelagFile : public MeterFile {
 public:
  PelagFile(Token token, std::string_view filename, std::string_view portname);
  int GetTraceCount() override;
  int GetInTraceCount() override;
  ~PelagFile() override;
  int GetTraceMap(TraceMap& map) override;
};

class NeritFile : public MeterFile {
 public:
  NeritFile(Token token, std::string_view filename, std::string_view portname);
  int GetTraceCount() override;
  int GetInTraceCount() override;
  ~NeritFile() override;
  int GetTraceMap(TraceMap& map) override;
};

}  // namespace sondrix
