// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/skip_choice.h"

#include <array>
#include <string>

#include "common/text_format.h"
#include "meter/benth_meter.h"
#include "meter/source_factory.h"
#include "platform/ui.h"

namespace sondrix {
namespace {

using platform::Cursor;

constexpr std::string_view kTitle = "Open device";

// "skip value 2 (50 %)".
std::string SkipText(int skip) {
  if (skip < 1 || skip > kMaxBenthSkip) return Format("skip value %d (not one the program knows)", skip);
  return Format("skip value %d (%d %%)", skip, 100 / skip);
}

// A reset shows the hour-glass: it waits for the instrument's packets.
Status ResetSource(Source& source) {
  platform::ui().SetMouseCursor(Cursor::HourGlass);
  const Status result = source.Reset();
  platform::ui().SetMouseCursor(Cursor::Default);
  return result;
}

Status SetInstrumentBack(BenthMeter& meter, int fileSkip) {
  platform::ui().SetMouseCursor(Cursor::HourGlass);
  const Status result = meter.SetInstrumentSkip(fileSkip);
  platform::ui().SetMouseCursor(Cursor::Default);
  if (result != status::kOk) return result;
  return ResetSource(meter);
}

// The copy is opened on the port the source held, which the source lets
// go first.
Status OpenCopy(std::unique_ptr<Source>& source, const std::string& copyPath) {
  const std::string port = source->portname();
  source->Close();
  source.reset();
  std::unique_ptr<Source> copy;
  Status result = NewSource(copy, kSourceKindDevice, copyPath, port);
  if (result != status::kOk) return result;
  result = copy->Open();
  if (result == status::kOk) result = ResetSource(*copy);
  source = std::move(copy);
  return result;
}

}  // namespace

Status ResolveSkipMismatch(std::unique_ptr<Source>& source) {
  auto* meter = dynamic_cast<BenthMeter*>(source.get());
  if (meter == nullptr || meter->benthConfig() == nullptr) return status::kSkipMismatch;
  const BenthMeterConfig& config = *meter->benthConfig();
  const int fileSkip = config.skip;
  const int deviceSkip = meter->InstrumentSkip();
  const bool canKeep = config.HoldsSkip(deviceSkip);

  std::string text = StatusText(status::kSkipMismatch) + "\n\n";
  text += Format("The file %s has %s; the instrument on %s outputs %s.\n\n", source->filename().c_str(),
                 SkipText(fileSkip).c_str(), source->portname().c_str(), SkipText(deviceSkip).c_str());
  text += canKeep ? "Set the instrument back to the file's skip value, or save a copy of the file with "
                    "the instrument's skip value and open the meter with the copy?"
                  : "Set the instrument back to the file's skip value?";
  const std::array<std::string, 3> withCopy = {"Set instrument back", "Save a copy...", "Cancel"};
  const std::array<std::string, 2> backOnly = {"Set instrument back", "Cancel"};

  for (;;) {
    const int choice = canKeep ? platform::ui().GenericMessagePopup(kTitle, text, withCopy)
                               : platform::ui().GenericMessagePopup(kTitle, text, backOnly);
    if (choice == 1) return SetInstrumentBack(*meter, fileSkip);
    if (!canKeep || choice != 2) return status::kCancelled;
    std::string copyPath;
    const Status saved = config.SaveCopyWithSkip(deviceSkip, copyPath);
    // A save dialog cancelled asks again.
    if (saved == status::kCancelled) continue;
    if (saved != status::kOk) return saved;
    return OpenCopy(source, copyPath);
  }
}

}  // namespace sondrix
