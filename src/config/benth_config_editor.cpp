// SPDX-License-Identifier: GPL-3.0-or-later
// The hyperspectral configuration editor: the common fields, one entry per
// wavelength with its C trace's name, both offsets and its colour, the two
// field calibrations, and the instrument's output spacing and baud rate.
#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/panels.h"
#include "common/utils.h"
#include "config/benth_meter_config.h"
#include "config/calibration.h"
#include "config/config_text.h"
#include "config/editor_fields.h"
#include "io/dport.h"
#include "platform/ui.h"
#include "source/factories.h"
#include "source/source.h"

namespace sondrix {
namespace {

namespace pn = panels;

constexpr TraceEditorIds kEditorIds = {
    .common = {pn::kBcName, pn::kBcBaud, pn::kBcPathLength, pn::kBcDepthOffset, pn::kBcDepthScale, pn::kBcDevType,
               pn::kBcSerial},
    .traceList = pn::kBcTraceList, .traceName = pn::kBcTraceName, .color = pn::kBcColor,
    .preview = pn::kBcPreview, .ok = pn::kBcOk, .cancel = pn::kBcCancel};

constexpr std::string_view kWrongTraceCount = "Trace count is wrong for device type";
constexpr std::string_view kHardwareQuestion =
    "You are about to change the configuration of the hardware.\n"
    "Are you sure you want to do this?\n\n"
    "Also, if you are using an RS485 connection this action will fail.\n\n"
    "Do you want to continue?";
constexpr std::string_view kSetHardwareTitle = "Set hardware";
constexpr std::string_view kSaveNowQuestion =
    "The instrument now uses the new settings.\n"
    "A configuration file that still has the old ones cannot open it again.\n\n"
    "Save the configuration to a file now?";
constexpr std::string_view kSkipNotHeld =
    "A configuration file of structure version 3 cannot hold an output of less than 100 %.\n"
    "Opening the meter with this file will offer to set the instrument back.";
constexpr std::string_view kWarningTitle = "Warning - Calibration in question";
constexpr std::string_view kWarningText =
    "Some traces may be not correctly calibrated.\nYou may want to recalibrate.";

class BenthEditor final : public TraceEditor {
 public:
  BenthEditor(BenthMeterConfig& copy, Source& device, int panel)
      : TraceEditor(copy, panel, kEditorIds), copy_(copy), device_(device) {}

  void Fill();

 private:
  int Count() const override { return copy_.Wavelengths(); }
  void ShowTrace(int index) override;
  void StoreShownTrace() override;
  int ShownColor() const override { return Record(shown_).color; }
  void Command(int control) override;
  bool Accept() override;

  BenthTraceCal& Record(int i) const { return copy_.traces[static_cast<std::size_t>(i)]; }
  void ShowOffsets();
  void ZeroOffsets();
  // The device's port and samples per record; false with the error shown.
  bool DevicePort(DPort*& port, int& samplesPerRec);
  void Calibrate();
  void DepthCalibrate();
  void SetHardware();
  void OfferSave();

  BenthMeterConfig& copy_;
  Source& device_;
};

void BenthEditor::Fill() {
  FillList([this](int i) { return Record(i).name; },
           [this](int i) { ui().CheckListItem(panel_, pn::kBcTraceList, i, 1); });
  ui().SetCtrlVal(panel_, pn::kBcSkip, static_cast<int>(copy_.skip));
  const int skip = std::clamp(static_cast<int>(copy_.skip), 1, kMaxBenthSkip);
  ui().SetCtrlVal(panel_, pn::kBcOutput, 100 / skip);
  Select(0);
}

void BenthEditor::ShowTrace(int index) {
  if (index < 0 || index >= Count()) return;
  shown_ = index;
  const BenthTraceCal& t = Record(index);
  ui().SetCtrlVal(panel_, pn::kBcCOffset, t.cOffset);
  ui().SetCtrlVal(panel_, pn::kBcAOffset, t.aOffset);
  ShowNameAndColor(t.name, t.color);
}

// Record n + i (the A trace) keeps the wavelength of a file before
// structure version 3 and the darker half of the C trace's colour.
void BenthEditor::StoreShownTrace() {
  if (!Shown()) return;
  BenthTraceCal& t = Record(shown_);
  BenthTraceCal& a = Record(Count() + shown_);
  if (TakeName(t.name, t.wavelength, BenthTraceCal::kNameMax) && copy_.version < 3) a.wavelength = t.wavelength;
  t.cOffset = ui().GetCtrlDouble(panel_, pn::kBcCOffset);
  t.aOffset = ui().GetCtrlDouble(panel_, pn::kBcAOffset);
  if (TakeColor(t.color)) a.color = BenthAColor(t.color);
}

void BenthEditor::ShowOffsets() {
  if (!Shown()) return;
  ui().SetCtrlVal(panel_, pn::kBcCOffset, Record(shown_).cOffset);
  ui().SetCtrlVal(panel_, pn::kBcAOffset, Record(shown_).aOffset);
}

void BenthEditor::Command(int control) {
  if (control == pn::kBcZero) ZeroOffsets();
  if (control == pn::kBcCalibrate) Calibrate();
  if (control == pn::kBcDepthCal) DepthCalibrate();
  if (control == pn::kBcSetHardware) SetHardware();
}

void BenthEditor::ZeroOffsets() {
  const bool doA = ui().GetCtrlInt(panel_, pn::kBcZeroA) != 0;
  const bool doC = ui().GetCtrlInt(panel_, pn::kBcZeroC) != 0;
  for (int i = 0; i < Count(); ++i) {
    if (doA) Record(i).aOffset = 0.0;
    if (doC) Record(i).cOffset = 0.0;
  }
  ShowOffsets();
}

bool BenthEditor::DevicePort(DPort*& port, int& samplesPerRec) {
  const Status result = CalibrationPort(device_, port, samplesPerRec);
  if (result != status::kOk) Error_Report(result);
  return result == status::kOk;
}

void BenthEditor::Calibrate() {
  const int samples = ui().GetCtrlInt(panel_, pn::kBcCalSamples);
  const bool doA = ui().GetCtrlInt(panel_, pn::kBcCalA) != 0;
  const bool doC = ui().GetCtrlInt(panel_, pn::kBcCalC) != 0;
  if (!doA && !doC) return;
  ui().SetMouseCursor(platform::Cursor::HourGlass);
  DPort* port = nullptr;
  int samplesPerRec = 0;
  if (DevicePort(port, samplesPerRec)) {
    std::vector<std::uint8_t> selected(static_cast<std::size_t>(Count()), 0);
    for (int i = 0; i < Count(); ++i) {
      int checked = 0;
      ui().IsListItemChecked(panel_, pn::kBcTraceList, i, checked);
      selected[static_cast<std::size_t>(i)] = checked != 0 ? 1 : 0;
    }
    ui().RemovePopup(panel_);
    const Status result = BenthMeterConfig_Calibrate(device_, copy_, samplesPerRec, *port, samples,
                                                     doA, doC, selected);
    ui().InstallPopup(panel_);
    ShowOffsets();
    if (result != status::kOk) Error_Report(result);
  }
  ui().SetMouseCursor(platform::Cursor::Default);
}

void BenthEditor::DepthCalibrate() {
  ui().SetMouseCursor(platform::Cursor::HourGlass);
  copy_.depthScale = ui().GetCtrlDouble(panel_, pn::kBcDepthScale);
  DPort* port = nullptr;
  int samplesPerRec = 0;
  if (DevicePort(port, samplesPerRec)) {
    const Status result =
        BenthMeterConfig_DepthCalibrate(copy_, samplesPerRec, *port, kDepthSamples);
    ui().SetCtrlVal(panel_, pn::kBcDepthOffset, copy_.depthOffset);
    if (result != status::kOk) Error_Report(result);
  }
  ui().SetMouseCursor(platform::Cursor::Default);
}

void BenthEditor::SetHardware() {
  if (ui().ConfirmPopup("", kHardwareQuestion) == 0) return;
  DPort* port = nullptr;
  int samplesPerRec = 0;
  if (!DevicePort(port, samplesPerRec)) return;
  ui().SetMouseCursor(platform::Cursor::HourGlass);
  const int percent = ui().GetCtrlInt(panel_, pn::kBcOutput);
  copy_.baudRate = ui().GetCtrlInt(panel_, pn::kBcBaud);
  copy_.skip = static_cast<std::int8_t>(percent > 0 ? std::min(100 / percent, 127) : 1);
  ui().SetCtrlVal(panel_, pn::kBcSkip, static_cast<int>(copy_.skip));
  const Status result = BenthMeterConfig_SetParams(copy_, *port, percent, copy_.baudRate);
  ui().SetMouseCursor(platform::Cursor::Default);
  if (result != status::kOk) {
    Error_Report(result);
    return;
  }
  OfferSave();
}

// The instrument has its new settings now; a configuration file that does
// not say so could not open it again. The configuration as it stands on
// the panel may be saved at once.
void BenthEditor::OfferSave() {
  if (!copy_.HoldsSkip(copy_.skip)) {
    Error_Message(kSkipNotHeld);
    return;
  }
  if (ui().ConfirmPopup(kSetHardwareTitle, kSaveNowQuestion) == 0) return;
  if (!TakeCommon()) return;
  const Status saved = copy_.SaveConfig();
  if (saved != status::kOk && saved != status::kCancelled) Error_Report(saved);
}

// A file with fewer output wavelengths than the device type's most is a
// file of that device type all the same.
bool BenthEditor::Accept() {
  if (!TakeCommon()) return false;
  const int most = DeviceInTraceCount(copy_.deviceType());
  if (most < 0) {
    Error_Report(most);
    return false;
  }
  if (copy_.inTraceCount > most || copy_.traceCount != 2 * copy_.inTraceCount) {
    Error_Message(kWrongTraceCount);
    return false;
  }
  return true;
}

}  // namespace

// A new output spacing that is no multiple of the old one puts the
// calibration in question.
Status BenthMeterConfig::EditConfig(Source& device, int& changed) {
  return EditConfigWith<BenthMeterConfig, BenthEditor>(
      *this, device, panels::kBenthConfig, changed, [this](const BenthMeterConfig& copy) {
        if (!BenthCalibrationInQuestion(skip, copy.skip)) return;
        const std::array<std::string, 1> ok = {"OK"};
        platform::ui().GenericMessagePopup(kWarningTitle, kWarningText, ok);
      });
}

}  // namespace sondrix
