// SPDX-License-Identifier: GPL-3.0-or-later
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

template <Model kModel, bool kReportsTraceMap>
class ModelFile : public MeterFile {
 public:
  using MeterFile::MeterFile;

  int GetTraceCount() override { return ModelRow(kModel).traceCount; }
  int GetInTraceCount() override { return ModelRow(kModel).inTraceCount; }
  int GetTraceMap(TraceMap& map) override {
    if constexpr (kReportsTraceMap) return FillTraceMap(ModelRow(kModel), map);
    return MeterFile::GetTraceMap(map);
  }
};

class AFile final : public ModelFile<Model::AMeter, false> {
 public:
  using ModelFile::ModelFile;
};

class CFile final : public ModelFile<Model::CMeter, false> {
 public:
  using ModelFile::ModelFile;
};

class PelagFile final : public ModelFile<Model::Pelag, true> {
 public:
  using ModelFile::ModelFile;
};

class NeritFile final : public ModelFile<Model::Nerit, true> {
 public:
  using ModelFile::ModelFile;
};

}  // namespace sondrix
