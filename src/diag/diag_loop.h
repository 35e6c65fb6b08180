// SPDX-License-Identifier: GPL-3.0-or-later
// The polling loop of a self-test, shared by the meter families: it reads
// samples while the instrument sends them, lets the user stop it from the
// diagnostics panel, and gives up when no good sample came for a while.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "common/errors.h"
#include "common/out_of_memory.h"
#include "common/status.h"
#include "diag/diag_panel.h"
#include "diag/diag_report.h"
#include "source/source.h"
#include "source/source_wait.h"

namespace sondrix {

struct DiagLoopSettings {
  // Seconds without a good sample after which the test ends (-1003).
  double timeout = 2.0;
  // Good samples after which the test ends by itself; 0: only the user (or
  // an error) ends it.
  long stopAfter = 0;
};

// Runs the loop. `start` is the result of the reset (1, or -1030 when the
// serial numbers differ, which the test accepts). `refresh(count)` takes one
// sample (`count` = good samples so far + 1) and returns 1 for a good one,
// -1022 when none was there or it was lost, anything else to end the test.
// `good` counts the good samples. Between samples the loop looks at `user`
// (the diagnostics panel's stop control and close box, or a terminal's
// Ctrl+C), sleeping on the serial line while nothing is waiting.
//
// The result: 1 when the user stopped the test or `stopAfter` good samples
// were taken; -1003 after `timeout` seconds without a good sample; the
// failing code otherwise.
Status RunDiagLoop(Source& source, Status start, const DiagLoopSettings& settings, RunUser& user,
                   const std::function<Status(int count)>& refresh, long& good);

// The panel's part of a self-test: loads panel `panelId` of the resource
// file, prepares it with `setUp(panel)`, shows it as a pop-up, runs the loop
// (`refresh(panel, count)` takes one sample) until its `stopControl`, and
// removes and discards the panel. -1016 when the panel cannot be loaded
// (nothing was read then); otherwise the loop's result.
Status RunDiagPanel(Source& source, Status start, int panelId, int stopControl, double timeout,
                    const std::function<void(int panel)>& setUp,
                    const std::function<Status(int panel, int count)>& refresh, long& good);

// Resets `meter` for a self-test under the wait message; the reset's result
// (1, or -1030 when the serial numbers differ, which the test accepts).
Status ResetForSelfTest(Source& meter);

// The start of every meter family's test: the meter's wavelengths, the
// reset, then `make(map, wavelengths)` builds the record with the trace map
// the reset brought. The reset's result (1, or -1030) with the record, or
// the failure (-1016 without memory) without one.
template <class Record, class Make>
Status StartMeterSelfTest(Source& meter, std::unique_ptr<Record>& record, Make make) {
  record.reset();
  std::array<double, kMaxTraces> wavelengths{};
  meter.GetWavelengths(wavelengths);
  const Status result = ResetForSelfTest(meter);
  if (result != status::kOk && result != status::kSerialMismatch) return result;
  TraceMap map{};
  meter.GetTraceMap(map);
  const Status made = CatchOutOfMemory([&] { record = make(map, std::span<const double>(wavelengths)); });
  return made == status::kOk ? result : made;
}

// A meter's self-test, the two ways it runs, for every meter family.
// `MeterT` offers RefreshDiagnostics(record, panel, ring, count) (one sample
// into the record and, with a panel, onto it); `write(path, record)` writes
// the report. A meter that is not `connected` is refused (-1029);
// otherwise `start(record)` resets it and makes the `Record` of the test,
// and returns the reset's result (or, without a record, the failure that
// ends the test).
struct DiagPanelIds {
  int panel = 0;        // in the resource file
  int stopControl = 0;
  double timeout = 2.0;  // seconds without a good sample
};

template <class Record>
using DiagStart = std::function<Status(std::unique_ptr<Record>& record)>;
template <class Record>
using DiagWrite = std::function<Status(const std::string& path, const Record& record)>;

// On the diagnostics panel, prepared by `setUp(panel, record)`, until its
// stop control; then the report is offered (OfferDiagReport). The test's
// result is what the caller reports; a report that was not written is
// reported here, so that it does not pass unseen behind it.
template <class Record, class MeterT>
Status RunMeterDiagPanel(MeterT& meter, bool connected, const DiagStart<Record>& start, const DiagWrite<Record>& write,
                         const DiagPanelIds& ids, const std::function<void(int panel, const Record& record)>& setUp) {
  if (!connected) return status::kNotConnected;
  std::unique_ptr<Record> record;
  const Status begun = start(record);
  if (!record) return begun;
  int ring = 0;
  long good = 0;
  bool shown = false;
  const Status result = RunDiagPanel(
      meter, begun, ids.panel, ids.stopControl, ids.timeout,
      [&](int panel) {
        shown = true;
        setUp(panel, *record);
      },
      [&](int panel, int count) { return meter.RefreshDiagnostics(*record, panel, ring, count); }, good);
  if (!shown) return result;
  const Status report = OfferDiagReport([&](const std::string& path) { return write(path, *record); });
  if (report != status::kOk && report != status::kCancelled) Error_Report(report);
  return result;
}

// Without windows, over `samples` good samples or until `stopRequested`,
// into the report at `path` (see RunSelfTest for `test` and `good`).
template <class Record, class MeterT>
Status RunMeterSelfTest(MeterT& meter, bool connected, const DiagStart<Record>& start, const DiagWrite<Record>& write,
                        double timeout, long samples, const std::function<bool()>& stopRequested,
                        const std::string& path, Status& test, long& good) {
  good = 0;
  if (!connected) {
    test = status::kNotConnected;
    return test;
  }
  std::unique_ptr<Record> record;
  test = start(record);
  if (!record) return test;
  int ring = 0;
  const DiagLoopSettings settings{.timeout = timeout, .stopAfter = samples};
  PollingUser user([&] { return stopRequested && stopRequested() ? 1 : 0; });
  test = RunDiagLoop(
      meter, test, settings, user, [&](int count) { return meter.RefreshDiagnostics(*record, 0, ring, count); },
      good);
  return write(path, *record);
}

// What a meter family's self-test is made of: its panel, stop control and
// time-out, the controls of its panel, how it starts (the reset and the
// record: see DiagStart), how its panel is drawn from the record and how
// its report is written from it (with the meter's identification text,
// serial number and whether it has a depth sensor).
template <class MeterT, class Record>
struct DiagFamily {
  DiagPanelIds ids;
  const DiagPanelControls& controls;
  Status (*start)(MeterT& meter, std::unique_ptr<Record>& record);
  void (*draw)(int panel, const Record& record, bool hasDepth, long goodSamples);
  void (*report)(std::FILE* file, std::string_view id, std::uint32_t serial, bool hasDepth, const Record& record);
};

// A family's report of `record` at `path`: 1 or -1002.
template <class MeterT, class Record>
Status WriteFamilyReport(MeterT& meter, const DiagFamily<MeterT, Record>& family, const std::string& path,
                         const Record& record) {
  return WriteMeterReport(meter, path, [&](std::FILE* file, const std::string& id, std::uint32_t serial,
                                           bool hasDepth) { family.report(file, id, serial, hasDepth, record); });
}

// A family's Diagnostics: the test on its panel (RunMeterDiagPanel), the
// panel set up and drawn before the first sample.
template <class MeterT, class Record>
Status RunFamilyDiagnostics(MeterT& meter, const DiagFamily<MeterT, Record>& family) {
  const bool hasDepth = meter.HasDepth() != 0;
  return RunMeterDiagPanel<Record>(
      meter, meter.decoder() != nullptr, [&](auto& record) { return family.start(meter, record); },
      [&](const std::string& path, const Record& record) { return WriteFamilyReport(meter, family, path, record); },
      family.ids, [&](int panel, const Record& record) {
        SetUpDiagPanel(panel, family.controls, hasDepth);
        family.draw(panel, record, hasDepth, 0);
      });
}

// A family's SelfTest: the test without windows (RunMeterSelfTest).
template <class MeterT, class Record>
Status RunFamilySelfTest(MeterT& meter, const DiagFamily<MeterT, Record>& family, long samples,
                         const std::function<bool()>& stopRequested, const std::string& path, Status& test,
                         long& good) {
  return RunMeterSelfTest<Record>(
      meter, meter.decoder() != nullptr, [&](auto& record) { return family.start(meter, record); },
      [&](const std::string& file, const Record& record) { return WriteFamilyReport(meter, family, file, record); },
      family.ids.timeout, samples, stopRequested, path, test, good);
}

}  // namespace sondrix
