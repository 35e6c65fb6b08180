#include "meter/source_factory.h"

#include <string>

#include "datafile/data_file.h"
#include "datafile/model_files.h"
#include "datafile/benth_file.h"
#include "meter/a_meter.h"
#include "meter/benth_meter.h"
#include "meter/c_meter.h"
#include "meter/nerit_meter.h"
#include "meter/pelag_meter.h"
#include "source/device.h"
#include "source/factories.h"

namespace sondrix {

Status NewSource(std::unique_ptr<Source>& out, int kind, std::string_view filename,
                 std::string_view portname) {
  out.reset();
  switch (kind) {
    case kSourceKindFile:
      return NewFile(out, filename, portname);
    case kSourceKindDevice:
      return NewMeter(out, filename, portname);
    default:
      return status::kBadArgument;
  }
}

Status NewMeter(std::unique_ptr<Source>& out, std::string_view filename, std::string_view portname) {
  out.reset();
  std::string idText;
  const ModelInfo* row = FindModel(Device_GetDevType(filename, idText));
  if (!row) return status::kBadConfigFormat;
  switch (row->model) {
    case Model::Nerit:
      out = Meter::New<NeritMeter>(filename, portname);
      break;
    case Model::Pelag:
      out = Meter::New<PelagMeter>(filename, portname);
      break;
    case Model::AMeter:
      out = Meter::New<AMeter>(filename, portname);
      break;
    case Model::CMeter:
      out = Meter::New<CMeter>(filename, portname);
      break;
    case Model::Benth:
      out = Meter::New<BenthMeter>(filename, portname);
      break;
  }
  return out ? status::kOk : status::kOutOfMemory;
}

Status NewFile(std::unique_ptr<Source>& out, std::string_view filename, std::string_view portname) {
  out.reset();
  std::string idText;
  const ModelInfo* row = FindModel(DataFile_GetDevType(filename, idText));
  if (!row) return status::kBadConfigFormat;
  switch (row->model) {
    case Model::Nerit:
      out = MeterFile::New<NeritFile>(filename, portname);
      break;
    case Model::Pelag:
      out = MeterFile::New<PelagFile>(filename, portname);
      break;
    case Model::AMeter:
      out = MeterFile::New<AFile>(filename, portname);
      break;
    case Model::CMeter:
      out = MeterFile::New<CFile>(filename, portname);
      break;
    case Model::Benth:
      out = MeterFile::New<BenthFile>(filename, portname);
      break;
  }
  return out ? status::kOk : status::kOutOfMemory;
}

}  // namespace sondrix
