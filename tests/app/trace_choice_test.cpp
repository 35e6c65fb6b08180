// SPDX-License-Identifier: GPL-3.0-or-later
// The acquisition dialog's choices by kind and wavelength ("A only", "C
// only", "Select" from ... to, every k-th) on the device files of every
// model, checked against the headings each choice must leave ticked, typed
// from the device files; and what OK then makes visible.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "common/panels.h"
#include "display/display_fixtures.h"
#include "display/trace_choice.h"
#include "meter/source_factory.h"
#include "build_paths.h"

namespace sondrix {
namespace {

namespace p = panels;
using Names = std::vector<std::string>;

// One press in the dialog; a Select press sets the fields it names first
// (from, to, step; a negative value leaves the field as the dialog put it).
struct Press {
  int control;
  double from = -1.0;
  double to = -1.0;
  int step = -1;
};

Press Select(double from, double to, int step = 1) { return {p::kAcqSelect, from, to, step}; }
Press Every(int step) { return {p::kAcqSelect, -1.0, -1.0, step}; }
const Press kAll{p::kAcqAll};
const Press kNone{p::kAcqNone};
const Press kAOnly{p::kAcqAOnly};
const Press kCOnly{p::kAcqCOnly};

// The headings of the 100-wavelength file: `kind` and 400 + 10/3 × i nm for
// i = from, from + step, ... below to.
Names Hyper100(char kind, int from = 0, int to = 100, int step = 1) {
  Names names;
  for (int i = from; i < to; i += step) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%.1f", kind, 400.0 + 10.0 * i / 3.0);
    names.push_back(text);
  }
  return names;
}

Names Join(Names a, const Names& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Names kNerit = {"a412", "a440", "a488", "c412", "c440", "c488", "a510", "a532", "a555",
                      "c510", "c532", "c555", "a650", "a676", "a715", "c650", "c676", "c715"};

struct Row {
  const char* device;  // in examples/
  std::vector<Press> presses;
  Names ticked;        // in list order
};

class TraceChoiceTest : public test::AppTest {
 protected:
  // The example device file copied into the project directory (the display
  // writes its configuration beside it), opened for its configuration and
  // attached.
  void AttachExample(const std::string& name, const std::string& changeFrom = "",
                     const std::string& changeTo = "") {
    std::string text = test::ReadTextFile(std::string(SONDRIX_EXAMPLES_DIR) + "/" + name).value_or("");
    ASSERT_FALSE(text.empty()) << name;
    if (!changeFrom.empty()) {
      const std::size_t at = text.find(changeFrom);
      ASSERT_NE(at, std::string::npos);
      text.replace(at, changeFrom.size(), changeTo);
    }
    const std::string path = test::WriteTextFile(HomeFile(name), text);
    std::unique_ptr<Source> source;
    ASSERT_EQ(NewSource(source, kSourceKindDevice, path, ""), status::kOk);
    ASSERT_EQ(source->Open(), status::kOk);
    ASSERT_EQ(app.display().Attach(std::move(source)), status::kOk);
  }

  int Dialog() { return ui.NewestHandle(p::kAcquisition, false); }

  Names Ticked() {
    Names names;
    for (const auto& item : ui.Control(Dialog(), p::kAcqTraces)->items)
      if (item.checked) names.push_back(item.label);
    return names;
  }

  // Scripts the presses, reads what is ticked, and accepts.
  Names RunDialog(const std::vector<Press>& presses) {
    for (const Press& press : presses) {
      std::map<int, platform::CtrlValue> fields;
      if (press.from >= 0.0) fields[p::kAcqFrom] = press.from;
      if (press.to >= 0.0) fields[p::kAcqTo] = press.to;
      if (press.step >= 0) fields[p::kAcqStep] = press.step;
      ui.Commit(p::kAcquisition, press.control, {fields.begin(), fields.end()});
    }
    Names seen;
    ui.Then([&](platform::HeadlessUi& u) {
        seen = Ticked();
        u.GetCtrlIndex(Dialog(), p::kAcqTraces, index_);
      }).Commit(p::kAcquisition, p::kAcqOk);
    EXPECT_EQ(Acquire_Configure2(app), status::kOk);
    return seen;
  }

  // The entry the list showed last (its current entry).
  int index_ = -1;

  // The headings of the traces visible now.
  Names Visible() {
    Names names;
    for (int trace = 0; trace < kMaxTraces; ++trace) {
      std::string heading;
      if (app.display().visible(trace) && app.source()->GetHeading(trace, heading) == status::kOk)
        names.push_back(heading);
    }
    return names;
  }
};

TEST_F(TraceChoiceTest, EachChoiceTicksTheHeadingsItNamesOnEveryModel) {
  const std::vector<Row> rows = {
      // Nine wavelengths, A and C in groups of three.
      {"nerit-9wl.dev", {kAOnly}, {"a412", "a440", "a488", "a510", "a532", "a555", "a650", "a676", "a715"}},
      {"nerit-9wl.dev", {kCOnly}, {"c412", "c440", "c488", "c510", "c532", "c555", "c650", "c676", "c715"}},
      {"nerit-9wl.dev", {kAll, Select(480, 560)}, {"a488", "c488", "a510", "a532", "a555", "c510", "c532", "c555"}},
      {"nerit-9wl.dev", {kAOnly, Select(400, 720, 3)}, {"a412", "a510", "a650"}},
      {"nerit-9wl.dev", {kCOnly, Select(676, 440, 2)}, {"c440", "c510", "c555", "c676"}},
      {"nerit-9wl.dev", {kNone, Select(500, 600)}, {"a510", "a532", "a555", "c510", "c532", "c555"}},
      {"nerit-9wl.dev", {kAll, Every(4)}, {"a412", "c412", "a532", "c532", "a715", "c715"}},
      // Three wavelengths.
      {"pelag-3wl.dev", {kAOnly}, {"a440", "a550", "a676"}},
      {"pelag-3wl.dev", {kCOnly}, {"c440", "c550", "c676"}},
      {"pelag-3wl.dev", {kAll, Select(440, 550)}, {"a440", "a550", "c440", "c550"}},
      {"pelag-3wl.dev", {kAll, Every(2)}, {"a440", "a676", "c440", "c676"}},
      // One kind only.
      {"ameter.dev", {kNone, kAOnly}, {"a440", "a550", "a676"}},
      {"ameter.dev", {kAll, Select(500, 700)}, {"a550", "a676"}},
      {"ameter.dev", {kAll, Every(2)}, {"a440", "a676"}},
      {"cmeter.dev", {kNone, kCOnly}, {"c450", "c532", "c650"}},
      {"cmeter.dev", {kAll, Select(450, 532)}, {"c450", "c532"}},
      // The hyperspectral meter: 100 wavelengths (C traces first).
      {"benth-100wl.dev", {kAOnly}, Hyper100('a')},
      {"benth-100wl.dev", {kCOnly, Select(400, 420)}, Hyper100('c', 0, 7)},
      {"benth-100wl.dev", {kAOnly, Select(700, 730, 3)}, {"a700.0", "a710.0", "a720.0", "a730.0"}},
      {"benth-100wl.dev", {kAll, Select(500, 510, 2)}, {"c500.0", "c506.7", "a500.0", "a506.7"}},
      {"benth-100wl.dev", {kNone, Every(10)}, Join(Hyper100('c', 0, 100, 10), Hyper100('a', 0, 100, 10))},
      // 85 wavelengths, the A traces at wavelengths of their own.
      {"benth-85wl-v3.dev", {kAll, Select(400, 415)},
       {"c401.2", "c405.1", "c409.0", "c412.9", "a402.7", "a406.6", "a410.5", "a414.4"}},
      {"benth-85wl-v3.dev", {kAOnly, Select(720, 731, 2)}, {"a722.5", "a730.3"}},
      // A field that shows tenths still takes a wavelength of hundredths.
      {"benth-85wl-v3.dev", {kCOnly, Select(728.8, 728.8)}, {"c728.8"}},
  };
  Start();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.device) + " row " + std::to_string(&row - rows.data()));
    // Every trace visible to begin with.
    AttachExample(row.device);
    EXPECT_EQ(RunDialog(row.presses), row.ticked);
    // OK shows exactly what was ticked.
    EXPECT_EQ(Visible(), row.ticked);
  }
}

TEST_F(TraceChoiceTest, TheDialogOffersWhatTheSourceHas) {
  Start();
  struct Offer {
    const char* device;
    bool aOnly, cOnly;
    double from, to;
  };
  for (const Offer& offer : {Offer{"nerit-9wl.dev", true, true, 412, 715}, Offer{"ameter.dev", true, false, 440, 676},
                             Offer{"cmeter.dev", false, true, 450, 650},
                             Offer{"benth-85wl-v3.dev", true, true, 401.2, 730.3}}) {
    SCOPED_TRACE(offer.device);
    AttachExample(offer.device);
    ui.Then([&](platform::HeadlessUi&) {
        EXPECT_EQ(ui.Control(Dialog(), p::kAcqAOnly)->dimmed, !offer.aOnly);
        EXPECT_EQ(ui.Control(Dialog(), p::kAcqCOnly)->dimmed, !offer.cOnly);
        EXPECT_EQ(ui.GetCtrlDouble(Dialog(), p::kAcqFrom), offer.from);
        EXPECT_EQ(ui.GetCtrlDouble(Dialog(), p::kAcqTo), offer.to);
        EXPECT_EQ(ui.GetCtrlInt(Dialog(), p::kAcqStep), 1);
      }).Commit(p::kAcquisition, p::kAcqCancel);
    EXPECT_EQ(Acquire_Configure2(app), status::kCancelled);
  }
}

// At every second wavelength the traces the instrument does not send are
// listed unticked; the choices count and tick only the ones it sends, and
// leave the others' choice alone.
TEST_F(TraceChoiceTest, AtSkipTwoTheChoicesCountOnlyTheWavelengthsSent) {
  Start();
  ASSERT_EQ(app.display().Attach(test::HyperspectralSource(HomeFile("skip2.dev"), 100, 2)), status::kOk);
  // Trace 1 (c403.0) is not sent: hidden now, but chosen for when it is.
  app.display().SetVisible(1, true);
  EXPECT_EQ(RunDialog({kCOnly, Select(400, 430, 2)}), (Names{"c400.0", "c412.0", "c424.0"}));
  ASSERT_EQ(app.display().WriteConfig(), status::kOk);
  const std::string config = test::ReadTextFile(HomeFile("skip2.RTC")).value_or("");
  EXPECT_NE(config.find("\n0\t1\t4\t8\t\t; visible traces"), std::string::npos) << config;
  Names everySecondA;
  for (int i = 0; i < 100; i += 2) everySecondA.push_back("a" + std::to_string(400 + 3 * i) + ".0");
  EXPECT_EQ(RunDialog({kAOnly}), everySecondA);
}

// A source without wavelengths of its own, without a trace map, with a
// heading of neither kind: kind and wavelength come from the headings.
TEST_F(TraceChoiceTest, WithoutWavelengthsTheHeadingsTell) {
  Start();
  auto source = std::make_unique<test::FakeSource>(HomeFile("plain.dev"), std::vector<int>(5, 0));
  source->headings = {"a412", "A440.5", "c412", "C440.5", "x1"};
  source->wavelengths.assign(5, 0.0);
  ASSERT_EQ(app.display().Attach(std::move(source)), status::kOk);
  EXPECT_EQ(RunDialog({kAOnly}), (Names{"a412", "A440.5"}));
  EXPECT_EQ(RunDialog({kAll, Select(420, 500)}), (Names{"A440.5", "C440.5"}));
  EXPECT_EQ(RunDialog({kAll, Select(0, 100)}), (Names{"x1"}));
  // The list is turned to the first entry a choice ticked.
  EXPECT_EQ(index_, 4);
}

}  // namespace
}  // namespace sondrix
