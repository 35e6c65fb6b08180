// SPDX-License-Identifier: GPL-3.0-or-later
// The live underway processing on a valve switched by hand: filtered for
// the first minute of every five, ten seconds of flushing, then a valve
// that sticks on whole water. The flow periods fall where the switches
// put them, each filtered period's dissolved spectrum is the median of its
// samples after flushing, a whole-water sample's particulate value is its
// spectrum less the last period's, and the alarms come when the valve
// sticks for more than two cycles and when a filtered spectrum jumps.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "processing/underway.h"

namespace sondrix {
namespace {

// Whole water: dissolved 0.1 plus particulate 0.3 (c) and 0.2 (a) at every
// wavelength; filtered: the dissolved part alone, its third period 0.08
// higher at the first c wavelength; every sample a little off by its
// number, so that the median is the middle one's.
CorrectedSample SampleAt(long second, bool filtered, int period) {
  CorrectedSample s;
  s.timeMs = second * 1000;
  const double wobble = 0.001 * static_cast<double>((second * 7) % 5 - 2);
  s.aTs.assign(3, 0.1 + wobble + (filtered ? 0.0 : 0.2));
  s.cTs.assign(3, 0.1 + wobble + (filtered ? 0.0 : 0.3));
  if (filtered && period == 2) s.cTs[0] += 0.08;
  return s;
}

TEST(LiveUnderwayTest, PeriodsParticulateValuesAndAlarmsOfAValveSwitchedByHand) {
  ProcessorChannels channels{{0, 1, 2}, {3, 4, 5}, {440, 550, 715}, {440, 550, 715}};
  ProcessingSettings settings;
  settings.correctTs = false;
  settings.scatter = ScatterMethod::kNone;
  std::string error;
  const std::unique_ptr<Processor> processor = Processor::Make(channels, settings, error);
  ASSERT_NE(processor, nullptr) << error;
  UnderwaySettings underway;
  underway.flushSeconds = 10.0;
  LiveUnderway live(underway);
  ParticulateSample out;
  std::vector<std::string> alarms;
  for (long second = 0; second < 1500; ++second) {
    // Switched for three cycles of 300 s, then stuck on whole water.
    const bool filtered = second < 900 && second % 300 < 60;
    const int period = static_cast<int>(second / 300);
    live.Take(*processor, SampleAt(second, filtered, period), filtered, out);
    const long inCycle = second % 300;
    if (second < 10) {
      EXPECT_EQ(out.period, FlowPeriod::kFlushing) << second;  // the record's start
    } else if (second < 900 && (inCycle < 10 || (inCycle >= 60 && inCycle < 70))) {
      EXPECT_EQ(out.period, FlowPeriod::kFlushing) << second;
    } else {
      EXPECT_EQ(out.period, filtered ? FlowPeriod::kFiltered : FlowPeriod::kWhole) << second;
    }
    if (out.period == FlowPeriod::kWhole && second < 900) {
      // Against the last period's median (0.1 exactly: the wobbles of its
      // samples are -2 ... 2 thousandths, as many each side).
      ASSERT_EQ(out.ap.size(), 3u);
      EXPECT_NEAR(out.ap[1], SampleAt(second, false, 0).aTs[1] - 0.1, 1e-12) << second;
      EXPECT_NEAR(out.cp[2], SampleAt(second, false, 0).cTs[2] - 0.1, 1e-12) << second;
      EXPECT_TRUE(std::isnan(out.slope) || out.slope > -1.0);
    }
    if (out.period != FlowPeriod::kWhole) {
      EXPECT_TRUE(std::isnan(out.cp[0])) << second;
    }
    if (alarms.empty() || alarms.back() != live.Alarm()) alarms.push_back(live.Alarm());
  }
  ASSERT_EQ(live.periods().completed(), 3u);
  EXPECT_EQ(live.periods().periods()[0].samples, 50);
  EXPECT_NEAR(live.periods().periods()[2].c[0], 0.18, 1e-12);
  // The third period's jump is told as soon as it is complete; from two
  // cycles after the last switch (660 s + 600 s) the stuck valve instead.
  ASSERT_GE(alarms.size(), 3u);
  EXPECT_EQ(alarms[0], "");
  EXPECT_EQ(alarms[1], "filtered spectra jumped by 0.080 1/m at c 440 nm");
  EXPECT_EQ(alarms[2], "valve stuck: no switch for 10 min (a cycle is 5 min)");
  for (std::size_t k = 3; k < alarms.size(); ++k) EXPECT_TRUE(alarms[k].starts_with("valve stuck: no switch for 1"));
  // The stretches a time graph shades: flushing, filtered, flushing per cycle.
  ASSERT_EQ(live.spans().size(), 9u);
  EXPECT_EQ(live.spans()[1].period, FlowPeriod::kFiltered);
  EXPECT_EQ(live.spans()[1].fromMs, 10000);
  EXPECT_EQ(live.spans()[1].toMs, 59000);
}

}  // namespace
}  // namespace sondrix
