// SPDX-License-Identifier: GPL-3.0-or-later
// The processing against the published formulas, computed here on their
// own from hand-picked coefficient rows: the temperature and salinity
// correction (Röttgers, McKee & Utschig 2014), the scattering corrections
// (Zaneveld, Kitchen & Moore 1994) with c taken to a's wavelengths, the
// line height (Roesler & Barnard 2013), the lags, and the quality flags of
// a stream with its faults placed by hand. Then what the processor refuses,
// and the coefficient tables it cannot read.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "processing/processor.h"
#include "processing/ts_table.h"

namespace sondrix {
namespace {

// Rows of the published table (2 nm steps), taken by hand: wavelength,
// psi_t, psi_s. psi_s_c is left empty in all but the 716 nm row, which
// gives attenuation a salinity coefficient of its own (made up).
constexpr const char* kTable = R"(# hand-picked rows
# source: Roettgers et al. 2014, rows by hand
#   second line of the source
wavelength,psi_t,psi_s_a,psi_s_c
410,-0.00003,0,
412,-0.000018,0,
440,-0.00002,0,

444,-0.000017,0,
550,-0.000031,0.00000286,
552,-0.000031,0.00000477,
650,-0.000362,0.0000215,
652,-0.00034,0.0000176,
676,-0.000277,-0.00000181,
678,-0.000345,-0.0000153,
714,0.00297,-0.000270846,
716,0.003664,-0.000282381,0.004
)";

struct Row {
  double w, psiT, psiSa, psiSc;
};
const std::vector<Row> kRows = {{410, -0.00003, 0, 0},
                                {412, -0.000018, 0, 0},
                                {440, -0.00002, 0, 0},
                                {444, -0.000017, 0, 0},
                                {550, -0.000031, 0.00000286, 0.00000286},
                                {552, -0.000031, 0.00000477, 0.00000477},
                                {650, -0.000362, 0.0000215, 0.0000215},
                                {652, -0.00034, 0.0000176, 0.0000176},
                                {676, -0.000277, -0.00000181, -0.00000181},
                                {678, -0.000345, -0.0000153, -0.0000153},
                                {714, 0.00297, -0.000270846, -0.000270846},
                                {716, 0.003664, -0.000282381, 0.004}};

// Linear between the two hand-picked rows around w.
Row Psi(double w) {
  for (std::size_t k = 0; k + 1 < kRows.size(); ++k) {
    const Row& lo = kRows[k];
    const Row& hi = kRows[k + 1];
    if (w >= lo.w && w <= hi.w) {
      const double f = (w - lo.w) / (hi.w - lo.w);
      return {w, lo.psiT + f * (hi.psiT - lo.psiT), lo.psiSa + f * (hi.psiSa - lo.psiSa),
              lo.psiSc + f * (hi.psiSc - lo.psiSc)};
    }
  }
  ADD_FAILURE() << w << " nm outside the rows";
  return {};
}

// a at 412, 440, 551 (between rows), 650, 676 and 715 nm; c at 410, 444,
// 550, 652, 678 and 716 nm: c is interpolated to every a wavelength. The
// line holds c first, then a, as a meter's does.
const std::vector<double> kAWl = {412, 440, 551, 650, 676, 715};
const std::vector<double> kCWl = {410, 444, 550, 652, 678, 716};

ProcessorChannels Channels() {
  ProcessorChannels ch;
  for (std::size_t k = 0; k < kCWl.size(); ++k) {
    ch.cTrace.push_back(static_cast<int>(k));
    ch.cWavelength.push_back(kCWl[k]);
  }
  // Given out of order: the processor sorts them.
  for (std::size_t k = kAWl.size(); k-- > 0;) {
    ch.aTrace.push_back(static_cast<int>(kCWl.size() + k));
    ch.aWavelength.push_back(kAWl[k]);
  }
  return ch;
}

ProcessingSettings Settings() {
  ProcessingSettings s;
  std::string error;
  EXPECT_TRUE(TsTable::Parse(kTable, "hand.csv", s.table, error)) << error;
  s.tCal = 20.0;
  s.shipTemperature = s.shipSalinity = true;
  return s;
}

// The spectra of line n: smooth, c above a.
double AValue(double w, int n) { return 0.05 + 0.4 * std::exp(-0.014 * (w - 412.0)) + 0.001 * n; }
double CValue(double w, int n) { return AValue(w, n) + 0.3 * 550.0 / w + 0.0005 * n; }

std::vector<double> LineValues(int n) {
  std::vector<double> v;
  for (double w : kCWl) v.push_back(CValue(w, n));
  for (double w : kAWl) v.push_back(AValue(w, n));
  return v;
}

// Runs `count` lines a second apart through a processor; `edit` may change
// each input.
template <class Edit>
std::vector<CorrectedSample> Stream(Processor& p, int count, Edit edit) {
  std::vector<CorrectedSample> out;
  std::vector<std::vector<double>> values(static_cast<std::size_t>(count));
  std::size_t most = 0;
  for (int n = 0; n < count; ++n) {
    values[static_cast<std::size_t>(n)] = LineValues(n);
    ProcessorInput in;
    in.timeMs = 1000LL * n;
    in.temperature = 25.0 + 0.1 * n;
    in.salinity = 35.0;
    in.extTemperature = 24.0;
    edit(n, in, values[static_cast<std::size_t>(n)]);
    in.values = values[static_cast<std::size_t>(n)];
    p.Push(in, out);
    most = std::max(most, p.held());
  }
  EXPECT_LE(most, static_cast<std::size_t>(2 * kSpikeHalfWindow + 2)) << "the lines held grow with the run";
  p.Finish(out);
  EXPECT_EQ(out.size(), static_cast<std::size_t>(count));
  for (std::size_t k = 0; k < out.size(); ++k) EXPECT_EQ(out[k].sequence, static_cast<long>(k));
  return out;
}

TEST(Processor, CorrectsAsThePublishedFormulasSay) {
  for (ScatterMethod method : {ScatterMethod::kNone, ScatterMethod::kBaseline, ScatterMethod::kProportional}) {
    SCOPED_TRACE(std::string(ScatterMethodName(method)));
    ProcessingSettings s = Settings();
    s.scatter = method;
    std::string error;
    auto p = Processor::Make(Channels(), s, error);
    ASSERT_TRUE(p) << error;
    if (method != ScatterMethod::kNone) {
      ASSERT_EQ(p->referenceWavelength().value_or(0), 715.0);  // the longest a wavelength at or above 700
    }
    const auto out = Stream(*p, 20, [](int, ProcessorInput&, std::vector<double>&) {});
    for (int n = 0; n < 20; ++n) {
      const CorrectedSample& got = out[static_cast<std::size_t>(n)];
      const double T = 25.0 + 0.1 * n, S = 35.0, tCal = 20.0;
      EXPECT_EQ(got.flag, kFlagGood) << n;
      EXPECT_EQ(got.temperature, T);
      EXPECT_EQ(got.temperatureOrigin, ValueOrigin::kShip);
      std::vector<double> aTs, cTs;
      for (double w : kAWl) aTs.push_back(AValue(w, n) - Psi(w).psiT * (T - tCal) - Psi(w).psiSa * S);
      for (double w : kCWl) cTs.push_back(CValue(w, n) - Psi(w).psiT * (T - tCal) - Psi(w).psiSc * S);
      // c_ts at each a wavelength: between the c wavelengths around it.
      std::vector<double> cAtA;
      for (double w : kAWl) {
        std::size_t k = 0;
        while (k + 2 < kCWl.size() && kCWl[k + 1] < w) ++k;
        cAtA.push_back(cTs[k] + (w - kCWl[k]) / (kCWl[k + 1] - kCWl[k]) * (cTs[k + 1] - cTs[k]));
      }
      const double aRef = aTs.back(), cRef = cAtA.back();
      for (std::size_t k = 0; k < kAWl.size(); ++k) {
        EXPECT_NEAR(got.aTs[k], aTs[k], 1e-12) << kAWl[k];
        EXPECT_NEAR(got.cTs[k], cTs[k], 1e-12) << kCWl[k];
        double want = aTs[k];
        if (method == ScatterMethod::kBaseline) want = aTs[k] - aRef;
        if (method == ScatterMethod::kProportional) want = aTs[k] - aRef * (cAtA[k] - aTs[k]) / (cRef - aRef);
        EXPECT_NEAR(got.aCorrected[k], want, 1e-12) << kAWl[k];
      }
      if (method != ScatterMethod::kNone) {
        EXPECT_EQ(got.aCorrected.back(), 0.0) << "not exactly 0 at the reference";
      }
      // The line height from the bands 650, 676 and 715 nm.
      const auto& a = got.aCorrected;
      EXPECT_NEAR(got.lineHeight, a[4] - (a[3] + (676.0 - 650.0) / (715.0 - 650.0) * (a[5] - a[3])), 1e-12);
    }
  }
}

TEST(Processor, LagsTakeCAndTheShipsDataLaterInTime) {
  ProcessingSettings s = Settings();
  s.lagC = 1.5;
  s.lagAncillary = -2.5;
  std::string error;
  auto p = Processor::Make(Channels(), s, error);
  ASSERT_TRUE(p) << error;
  // c grows by 0.0005 1/m and T by 0.1 degree a second: the lagged values
  // are those of 1.5 s later and 2.5 s earlier.
  const auto out = Stream(*p, 20, [](int, ProcessorInput&, std::vector<double>&) {});
  for (int n = 3; n < 18; ++n) {
    const CorrectedSample& got = out[static_cast<std::size_t>(n)];
    EXPECT_NEAR(got.temperature, 25.0 + 0.1 * (n - 2.5), 1e-12);
    const double T = got.temperature;
    const double w = kCWl[2];
    const double c = 0.5 * (CValue(w, n + 1) + CValue(w, n + 2));
    EXPECT_NEAR(got.cTs[2], c - Psi(w).psiT * (T - 20.0) - Psi(w).psiSc * 35.0, 1e-12);
    EXPECT_EQ(got.flag, kFlagGood) << n;
  }
  // The last line's c, 1.5 s after it, lies past the run: no corrected
  // values.
  EXPECT_EQ(out[19].flag, kFlagMissing);
  EXPECT_TRUE(out[19].tests & kTestMissing);
}

TEST(Processor, FlagsEachFaultWhereItIs) {
  ProcessingSettings s = Settings();
  std::string error;
  auto p = Processor::Make(Channels(), s, error);
  ASSERT_TRUE(p) << error;
  const auto out = Stream(*p, 40, [](int n, ProcessorInput& in, std::vector<double>& v) {
    if (n == 8) in.lostBefore = true;          // a line lost between 7 and 8
    if (n == 15) v[kCWl.size() + 2] += 0.1;    // a spike in a(551)
    // c(652) well below a(650) for six lines: too many to be a spike.
    if (n >= 17 && n <= 22) v[3] = v[kCWl.size() + 3] - 0.2;
    if (n == 25) v[1] = NAN;                   // a value lost in the line
    if (n == 30) v[0] = 80.0;                  // out of range
    if (n >= 33 && n <= 35) in.salinity.reset();  // the ship's salinity stale
    if (n >= 36 && n <= 37) in.temperature.reset();  // the ship's temperature missing: the meter's
  });
  const auto expect = [&](int n, int flag, unsigned tests) {
    EXPECT_EQ(out[static_cast<std::size_t>(n)].flag, flag) << "line " << n;
    EXPECT_EQ(out[static_cast<std::size_t>(n)].tests, tests) << "line " << n;
  };
  for (int n = 0; n < 40; ++n) {
    switch (n) {
      case 7: case 8: expect(n, kFlagNotEvaluated, kTestLostLine); break;
      case 15: expect(n, kFlagSuspect, kTestSpike); break;
      case 17: case 18: case 19: case 20: case 21: case 22: expect(n, kFlagSuspect, kTestCBelowA); break;
      case 25: expect(n, kFlagBad, kTestRange); break;
      case 30: expect(n, kFlagBad, kTestRange | kTestSpike); break;
      case 33: case 34: case 35: expect(n, kFlagSuspect, kTestAncillary); break;
      case 36: case 37: expect(n, kFlagSuspect, kTestAncillary); break;
      default: expect(n, kFlagGood, 0u);
    }
  }
  EXPECT_EQ(out[34].salinityOrigin, ValueOrigin::kShipStale);
  EXPECT_EQ(out[34].salinity, 35.0);
  EXPECT_EQ(out[36].temperatureOrigin, ValueOrigin::kMeter);
  EXPECT_EQ(out[36].temperature, 24.0);
}

TEST(Processor, RefusesWhatItCannotDoWithAReason) {
  const auto refused = [](ProcessorChannels ch, ProcessingSettings s, const std::string& words) {
    std::string error;
    EXPECT_FALSE(Processor::Make(std::move(ch), std::move(s), error));
    EXPECT_NE(error.find(words), std::string::npos) << error;
  };
  ProcessingSettings noCal = Settings();
  noCal.tCal.reset();
  refused(Channels(), noCal, "T_cal");
  ProcessingSettings noSalinity = Settings();
  noSalinity.shipSalinity = false;
  refused(Channels(), noSalinity, "no salinity");
  ProcessorChannels wide = Channels();
  wide.aTrace.push_back(20);
  wide.aWavelength.push_back(730.0);
  refused(wide, Settings(), "730 nm is outside");
  ProcessorChannels cOnly = Channels();
  cOnly.aTrace.clear();
  cOnly.aWavelength.clear();
  ProcessingSettings baseline = Settings();
  baseline.scatter = ScatterMethod::kBaseline;
  refused(cOnly, baseline, "without absorption");
  ProcessorChannels aOnly = Channels();
  aOnly.cTrace.clear();
  aOnly.cWavelength.clear();
  ProcessingSettings proportional = Settings();
  proportional.scatter = ScatterMethod::kProportional;
  refused(aOnly, proportional, "needs attenuation");
  ProcessorChannels blue = Channels();
  blue.aTrace.resize(3);
  blue.aWavelength = {412, 440, 551};
  refused(blue, Settings(), "no absorption wavelength at or above 700");

  // What stays: baseline by default for absorption only, none for c only,
  // and a reference wavelength given for a meter without one above 700 nm.
  std::string error;
  auto p = Processor::Make(aOnly, Settings(), error);
  ASSERT_TRUE(p) << error;
  EXPECT_EQ(p->scatter(), ScatterMethod::kBaseline);
  p = Processor::Make(cOnly, Settings(), error);
  ASSERT_TRUE(p) << error;
  EXPECT_EQ(p->scatter(), ScatterMethod::kNone);
  ProcessingSettings given = Settings();
  given.referenceWavelength = 551.0;
  p = Processor::Make(blue, given, error);
  ASSERT_TRUE(p) << error;
  EXPECT_FALSE(p->hasLineHeight());
}

TEST(TsTable, ReadsTheBuiltInTableAndTellsWhatIsWrongWithAnother) {
  TsTable table;
  std::string error;
  ASSERT_TRUE(TsTable::Parse(kTable, "hand.csv", table, error)) << error;
  EXPECT_EQ(table.source(), "Roettgers et al. 2014, rows by hand second line of the source");
  EXPECT_FALSE(table.At(409.9));
  EXPECT_FALSE(table.At(716.1));
  EXPECT_NEAR(table.At(715)->psiSc, (-0.000270846 + 0.004) / 2, 1e-15);
  EXPECT_EQ(table.At(650)->psiSc, 0.0000215);  // empty: psi_s_a

  // The built-in table: the published rows, whole, with their source.
  ASSERT_TRUE(BuiltInTable(table, error)) << error;
  EXPECT_EQ(table.first(), 300.0);
  EXPECT_EQ(table.last(), 800.0);
  EXPECT_NE(table.source().find("Optics Express 22(21)"), std::string::npos) << table.source();
  EXPECT_EQ(table.At(740)->psiT, 0.014291);
  EXPECT_EQ(table.At(740)->psiSa, -0.0000601);
  EXPECT_EQ(table.At(676)->psiT, -0.000277);

  const struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"wavelength,psi_t,psi_s\n400,1,2\n", "t.csv:1: the heading line must name"},
      {"# c\nwavelength,psi_t,psi_s_a,psi_s_c\n400,1,2,\n402,x,2,\n", "t.csv:4: psi_t \"x\" is not a number"},
      {"wavelength,psi_t,psi_s_a,psi_s_c\n400,1,2,\n400,1,2,\n", "t.csv:3: wavelengths must rise"},
      {"wavelength,psi_t,psi_s_a,psi_s_c\n400,1,2\n", "t.csv:2: 4 fields expected"},
      {"wavelength,psi_t,psi_s_a,psi_s_c\n400,1,,\n", "t.csv:2: psi_s_a \"\" is not a number"},
      {"wavelength,psi_t,psi_s_a,psi_s_c\n-4,1,2,\n", "t.csv:2: the wavelength must be positive"},
      {"# only comments\n", "no heading line"},
      {"wavelength,psi_t,psi_s_a,psi_s_c\n", "no rows"},
  };
  for (const auto& c : bad) {
    error.clear();
    EXPECT_FALSE(TsTable::Parse(c.text, "t.csv", table, error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  EXPECT_FALSE(TsTable::Load("/nonexistent/t.csv", table, error));
  EXPECT_NE(error.find("cannot be read"), std::string::npos);
}

}  // namespace
}  // namespace sondrix
