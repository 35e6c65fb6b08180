// SPDX-License-Identifier: GPL-3.0-or-later
// Replays of stored files: read as fast as they are read, never waited for,
// stopped at once, with their progress (the share of the file read and the
// record time) on the main panel.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "common/panels.h"
#include "common/utils.h"
#include "datafile/data_file.h"
#include "display/fake_source.h"
#include "platform/ui.h"
#include "session/acquisition.h"
#include "source/source_wait.h"

namespace sondrix {
namespace {

namespace p = panels;

// The elapsed read-out for a record time in milliseconds, worked out here
// apart from the display's own formatting.
std::string ElapsedText(long long ms) {
  char text[64];
  std::snprintf(text, sizeof text, "        Elapsed %02lld:%02lld:%02lld", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60);
  return text;
}

// The time stamp of a stored sample line.
long long Stamp(const std::string& line) { return std::stoll(line.substr(0, line.find('\t'))); }

class ReplayTest : public test::AppTest {
 protected:
  std::vector<int> ProgressShown() const {
    std::vector<int> shown;
    for (const platform::CtrlValue& value : ui.ValueHistory(p::kMain, p::kMainProgress))
      shown.push_back(std::get<int>(value));
    return shown;
  }
  bool BarVisible() const { return ui.Control(app.mainPanel, p::kMainProgress)->visible; }
  std::string Elapsed() const { return std::get<std::string>(*ui.ValueOf(p::kMain, p::kMainElapsed)); }

  // Scripts `stop` once `condition` holds; the condition is looked at at
  // every look of the run at the user interface, each of which takes one
  // empty event.
  void When(std::function<bool()> condition, std::function<void(platform::HeadlessUi&)> stop) {
    ui.Then([this, condition, stop](platform::HeadlessUi& u) {
      if (condition()) {
        stop(u);
      } else {
        u.Raw(platform::UserEvent{});
        When(condition, stop);
      }
    });
  }
};

// A raw capture, and the data file its run recorded, replayed to their
// ends: every line, not one wait in the user interface (the fake clock
// does not move), the bar from 0 to 100 % by whole percents, and the record
// time of the file's last line in the elapsed read-out.
TEST_F(ReplayTest, AReplayIsReadToItsEndWithoutWaiting) {
  Start();
  const std::string recorded = HomeFile("recorded.dat");
  for (const bool capture : {true, false}) {
    SCOPED_TRACE(capture ? "capture" : "data file");
    if (capture) {
      ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(300)), status::kOk);
      ui.AnswerFile(recorded);
    } else {
      ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, recorded, ""), status::kOk);
    }
    const double before = clock.Timer();

    EXPECT_EQ(Acquire_Run(app), status::kUnexpectedEof);
    EXPECT_EQ(app.display().sampleCount(), 3000);
    EXPECT_TRUE(ui.timedWaits().empty()) << ui.timedWaits().size() << " waits";
    EXPECT_EQ(clock.Timer(), before);

    const std::vector<int> shown = ProgressShown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), 0);
    EXPECT_EQ(shown.back(), 100);
    for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_GT(shown[i], shown[i - 1]) << i;
    EXPECT_TRUE(BarVisible());

    const std::vector<std::string> lines = DataLines(recorded);
    ASSERT_EQ(lines.size(), 3000u);
    EXPECT_GT(Stamp(lines.back()), 20000);  // the read-out has seconds to show
    EXPECT_EQ(Elapsed(), ElapsedText(Stamp(lines.back())));
    EXPECT_TRUE(ErrorTexts().empty());
    ui.ClearRecords();
  }
  // A live meter shows no bar.
  Feed(1, 2);
  OpenDevice("COM1");
  EXPECT_FALSE(BarVisible());
}

// F2, Esc or the stop button in the middle of a long replay end it before
// the next line: the lines read so far (for a capture, which is recorded,
// exactly those saved), the record time and the share of the file of the
// line read last.
TEST_F(ReplayTest, StopEndsALongReplayBeforeItsNextLine) {
  struct Way {
    const char* what;
    std::function<void(platform::HeadlessUi&)> stop;
  };
  const std::vector<Way> ways = {
      {"F2", [](platform::HeadlessUi& u) { u.Key(p::kMain, "F2"); }},
      {"Esc", [](platform::HeadlessUi& u) { u.Key(p::kMain, "Esc"); }},
      {"stop button", [](platform::HeadlessUi& u) { u.Commit(p::kMain, p::kMainStop); }},
  };
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(2000)), status::kOk);
  When([this] { return app.session().recording()->writtenLines() == 12000; },
       [](platform::HeadlessUi& u) { u.Key(p::kMain, "F2"); });
  const std::string stored = HomeFile("part.dat");
  ui.AnswerFile(stored);
  EXPECT_EQ(Acquire_Run(app), status::kOk);
  const std::vector<std::string> lines = DataLines(stored);
  EXPECT_EQ(lines.size(), 12000u);
  EXPECT_TRUE(ui.timedWaits().empty());
  const std::vector<int> captureShown = ProgressShown();
  ASSERT_FALSE(captureShown.empty());
  EXPECT_NEAR(captureShown.back(), 60.0, 1.0);  // 1200 of 2000 packets of one size
  ui.ClearRecords();

  // Where the 1500th sample line of the recording ends in its file.
  const std::string text = test::ReadTextFile(stored).value_or("");
  std::size_t end = text.find("; acquisition binsize");
  for (int line = 0; line <= 1500 && end != std::string::npos; ++line) end = text.find('\n', end) + 1;
  for (const Way& way : ways) {
    SCOPED_TRACE(way.what);
    ASSERT_EQ(OpenNamedSource(app, kSourceKindFile, stored, ""), status::kOk);
    When([this] { return app.display().sampleCount() == 1500; }, way.stop);
    EXPECT_EQ(Acquire_Run(app), status::kOk);
    EXPECT_EQ(app.display().sampleCount(), 1500);
    EXPECT_EQ(Elapsed(), ElapsedText(Stamp(lines[1499])));
    const std::vector<int> shown = ProgressShown();
    ASSERT_FALSE(shown.empty());
    EXPECT_NEAR(shown.back(), 100.0 * static_cast<double>(end) / static_cast<double>(text.size()), 1.0);
    EXPECT_TRUE(ui.timedWaits().empty());
    EXPECT_TRUE(ErrorTexts().empty());
    ui.ClearRecords();
  }
}

// A stored source that stops giving lines without coming to its end is not
// looked at in a busy loop for ever: after a while it is waited for as a
// live source is, and the run times out as for one.
TEST_F(ReplayTest, AReplayThatStallsSleepsAndTimesOut) {
  class Stalled : public test::FakeSource {
   public:
    explicit Stalled(const std::string& file) : FakeSource(file, std::vector<int>(3, kTraceA)) {}
    double GetReplayFraction() override { return 0.5; }
    int DataAvailable() override {
      ++looks;
      return 0;
    }
    int looks = 0;
  };
  Start();
  auto stalled = std::make_unique<Stalled>(HomeFile("stalled.dev"));
  Stalled& source = *stalled;
  ASSERT_EQ(stalled->Open(), status::kOk);
  app.display().Attach(std::move(stalled));
  const double before = clock.Timer();

  EXPECT_EQ(Acquire_Run(app), status::kTimedOut);
  EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Connection timed out"});
  const double slept = clock.Timer() - before;
  EXPECT_GE(slept, kTimeoutPerBinLine);
  EXPECT_LT(slept, kTimeoutPerBinLine + 1.0);
  ASSERT_FALSE(ui.timedWaits().empty());
  for (const double wait : ui.timedWaits()) EXPECT_EQ(wait, SourceWait::kShortWait);
  // The looks without waiting before it slept, then one per short sleep.
  EXPECT_LE(source.looks, SourceWait::kReplayLooks + static_cast<int>(kTimeoutPerBinLine / SourceWait::kShortWait) + 5);
}

}  // namespace
}  // namespace sondrix
