// SPDX-License-Identifier: GPL-3.0-or-later
// The program told to end without a user to ask (the session ends, SIGTERM,
// SIGHUP): it ends as its exit command does, asks nothing, writes its
// settings, and keeps a run that was not saved for the next start.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/app_fixtures.h"
#include "app/application.h"
#include "common/panels.h"
#include "common/settings.h"
#include "datafile/companion.h"
#include "meter/source_factory.h"
#include "platform/headless/headless_ui.h"

namespace sondrix {
namespace {

namespace p = panels;

class TerminationTest : public test::AppTest {
 protected:
  // Tells the program to end once `condition` holds (looked at once per look
  // of the program at the user interface).
  void TerminateWhen(std::function<bool()> condition) {
    ui.Then([this, condition](platform::HeadlessUi& u) {
      if (condition()) {
        u.Terminate();
      } else {
        u.Raw(platform::UserEvent{});
        TerminateWhen(condition);
      }
    });
  }

  // The recordings kept aside in the project directory.
  std::vector<std::string> Recovered() const {
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(home.path()))
      if (entry.path().filename().string().starts_with("Sondrix-recovered-") && entry.path().extension() == ".dat")
        kept.push_back(entry.path().string());
    return kept;
  }

  void ExpectNothingAsked() {
    EXPECT_TRUE(ui.fileDialogs().empty());
    EXPECT_TRUE(PopupTexts("Unsaved run").empty());
    EXPECT_TRUE(ErrorTexts().empty());
  }
};

TEST_F(TerminationTest, DuringARunTheRecordingIsKeptUnaskedAndOfferedAtTheNextStart) {
  Start();
  Feed(1, 5);
  OpenDevice("COM1");
  ui.Key(p::kMain, "F1");
  TerminateWhen([this] { return app.session().recording()->writtenLines() == 20; });
  RunMainLoop(app);
  EXPECT_TRUE(app.quit);
  EXPECT_TRUE(app.terminating);
  EXPECT_TRUE(app.unsavedRun);
  ExpectNothingAsked();
  FinishApplication(app);
  EXPECT_EQ(settings::Get(settings::kGeneral, settings::kPort), "COM1");
  // Told to end at the twentieth line: the packets that had arrived are
  // recorded before the program ends.
  EXPECT_EQ(DataLines(App::ScratchPath()).size(), 40u);

  // The next start, with a user to ask: the run is kept aside and offered.
  platform::HeadlessUi next;
  const platform::ScopedUi scoped(next);
  next.AnswerConfirm(false);
  App again;
  ASSERT_EQ(StartApplication(again, {}), status::kOk);
  int offers = 0;
  for (const platform::PopupRecord& popup : next.popups())
    if (popup.title == "Recovered recording") ++offers;
  EXPECT_EQ(offers, 1);
  const std::vector<std::string> kept = Recovered();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(DataLines(kept[0]).size(), 40u);
  // Its companion came along, time zero and all.
  Companion companion;
  std::string error;
  ASSERT_EQ(ReadCompanion(CompanionPathFor(kept[0]), companion, error), 1) << error;
  EXPECT_TRUE(companion.timeZeroUtcMs.has_value());
  FinishApplication(again);
  EXPECT_TRUE(next.problems().empty());
}

TEST_F(TerminationTest, ARunWaitingToBeSavedIsKeptWithoutTheQuestion) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(3)), status::kOk);
  ui.Key(p::kMain, "F1").CancelFile();
  AfterRun([](platform::HeadlessUi& u) { u.Terminate(); });
  RunMainLoop(app);
  EXPECT_TRUE(PopupTexts("Unsaved run").empty());
  EXPECT_TRUE(app.unsavedRun);
  FinishApplication(app);
  EXPECT_EQ(DataLines(App::ScratchPath()).size(), 30u);  // every packet of the capture
}

TEST_F(TerminationTest, IdleTheSettingsAreWrittenAsByTheExitCommand) {
  WriteSettings("[General]\nDevice=" + Device() + "\nPort=COM1\n[Display]\nTop=40\nLeft=50\nHeight=800\nWidth=1300\n");
  Feed(1, 1);
  Start();
  ASSERT_NE(app.source(), nullptr);
  ui.SetPanelAttribute(app.mainPanel, platform::Attr::Width, 1250);
  ui.Terminate();
  RunMainLoop(app);
  FinishApplication(app);
  ExpectNothingAsked();
  EXPECT_EQ(settings::Get(settings::kGeneral, settings::kDevice), HomeFile("meter.dev"));
  EXPECT_EQ(settings::Get(settings::kGeneral, settings::kPort), "COM1");
  EXPECT_EQ(settings::Get(settings::kDisplay, settings::kWidth), "1250");
  EXPECT_EQ(settings::Get(settings::kDisplay, settings::kTop), "40");
  // Nothing waited: no scratch recording is left, nothing kept aside.
  EXPECT_FALSE(std::filesystem::exists(App::ScratchPath()));
  EXPECT_TRUE(Recovered().empty());
}

TEST_F(TerminationTest, ADialogUpEndsAsCancelledAndThenTheProgram) {
  Start();
  Feed(1, 2);
  OpenDevice("COM1");
  const bool wasVisible = app.display().visible(0);
  // The acquisition dialog is up, the user unticks every trace, and the
  // session ends before OK.
  ui.MenuChoice(p::kMain, p::kMenuConfigAcquisition).Commit(p::kAcquisition, p::kAcqNone).Terminate();
  RunMainLoop(app);
  EXPECT_TRUE(app.quit);
  EXPECT_EQ(app.display().visible(0), wasVisible);
  EXPECT_TRUE(ui.popupStack().empty());
  ExpectNothingAsked();
}

TEST_F(TerminationTest, QuestionsAfterwardsGetTheirCancellingAnswerAtOnce) {
  Start();
  ui.RequestTermination();
  const std::array<std::string, 3> buttons = {"Save", "Discard", "Cancel"};
  EXPECT_EQ(ui.GenericMessagePopup("Unsaved run", "?", buttons), 3);
  EXPECT_EQ(ui.ConfirmPopup("Open device", "?"), 0);
  std::string path = "unchanged";
  EXPECT_EQ(ui.FileSelectPopup({}, path), platform::FileSelectResult::None);
  EXPECT_EQ(path, "unchanged");
  // A dialog's loop gets its close box, the main loop Terminate.
  const int dialog = ui.LoadPanel(0, p::kAcquisition);
  ui.InstallPopup(dialog);
  platform::UserEvent event = ui.GetUserEvent(true);
  EXPECT_EQ(event.type, platform::EventType::Close);
  EXPECT_EQ(event.panel, dialog);
  ui.RemovePopup(dialog);
  ui.DiscardPanel(dialog);
  event = ui.WaitUserEvent(0.25, {});
  EXPECT_EQ(event.type, platform::EventType::Terminate);
}

}  // namespace
}  // namespace sondrix
