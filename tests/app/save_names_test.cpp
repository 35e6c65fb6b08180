// SPDX-License-Identifier: GPL-3.0-or-later
// Every save dialog of the program with names typed as a user types them:
// a name without an extension is written with the dialog's, so that the
// dialog that opens such files lists it, and the question about a file
// that exists is asked of the name written.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/acquire.h"
#include "app/app_fixtures.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "common/panels.h"
#include "diag/diag_report.h"
#include "meter/source_factory.h"
#include "platform/paths.h"
#include "source/device.h"

namespace sondrix {
namespace {

namespace p = panels;

constexpr const char* kOverwrite = "This file exists. Do you want to overwrite it?";

struct SaveDialogCase {
  std::string title;    // the dialog's title, as the user sees it
  std::string typed;    // the name typed into it
  std::string written;  // the name the program must write
  // Saves through the dialog; the name written to, or "" when nothing was.
  std::function<std::string()> save;
};

class SaveNamesTest : public test::AppTest {
 protected:
  std::vector<SaveDialogCase> Cases() {
    return {
        {"Save data in file:", "run1", "run1.dat",
         [this] {
           Acquire_Run(app);
           return Written("run1.dat", !DataLines(HomeFile("run1.dat")).empty());
         }},
        {"Save graph to file:", "state1", "state1.gph",
         [this] { return SavePanel(app.mainPanel) == 1 ? HomeFile("state1.gph") : ""; }},
        {"Export graph to file:", "picture", "picture.png",
         [this] {
           const std::size_t before = ui.printJobs().size();
           Menu_HandleEvent(app, p::kMenuExportGraph);
           return ui.printJobs().size() > before ? ui.printJobs().back().path : "";
         }},
        {"Save configuration to file:", "edited", "edited.dev",
         [this] { return app.source()->SaveConfig() == status::kOk ? HomeFile("edited.dev") : ""; }},
        {"Save report in file:", "diag9", "diag9.rpt",
         [] {
           std::string path;
           return ChooseReportFile(path) == status::kOk ? path : "";
         }},
    };
  }

  std::string Written(const std::string& name, bool done) { return done ? HomeFile(name) : ""; }

  std::string LastDialogTitle() const {
    return ui.fileDialogs().empty() ? "" : ui.fileDialogs().back().request.title;
  }
};

TEST_F(SaveNamesTest, ANameTypedWithoutExtensionIsWrittenWithTheDialogsOwn) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(4)), status::kOk);
  for (SaveDialogCase& c : Cases()) {
    ui.AnswerFile(HomeFile(c.typed));
    EXPECT_EQ(c.save(), HomeFile(c.written)) << c.title;
    EXPECT_EQ(LastDialogTitle(), c.title);
    EXPECT_FALSE(std::filesystem::exists(HomeFile(c.typed))) << c.title;
  }
  // The files written to disk are listed by the dialogs that open them.
  EXPECT_TRUE(std::filesystem::exists(HomeFile("run1.dat")));
  EXPECT_TRUE(std::filesystem::exists(HomeFile("state1.gph")));
  EXPECT_TRUE(std::filesystem::exists(HomeFile("edited.dev")));
  std::string id;
  EXPECT_GE(Device_GetDevType(HomeFile("edited.dev"), id), 0);
  EXPECT_TRUE(ui.popups().empty());
}

TEST_F(SaveNamesTest, TheOverwriteQuestionIsAskedOfTheNameWritten) {
  Start();
  ASSERT_EQ(OpenNamedSource(app, kSourceKindDevice, Device(), Capture(4)), status::kOk);
  int questions = 0;
  ui.popupAnswerer = [&questions](const platform::PopupRecord& popup) -> std::optional<int> {
    if (popup.text != kOverwrite) return std::nullopt;
    ++questions;
    return 0;
  };
  for (SaveDialogCase& c : Cases()) {
    test::WriteTextFile(HomeFile(c.written), "kept");
    const int before = questions;
    ui.AnswerFile(HomeFile(c.typed));
    // "No" keeps the file that exists: nothing is written.
    EXPECT_EQ(c.save(), "") << c.title;
    EXPECT_EQ(questions, before + 1) << c.title;
    EXPECT_EQ(test::ReadTextFile(HomeFile(c.written)).value_or(""), "kept") << c.title;
    EXPECT_FALSE(std::filesystem::exists(HomeFile(c.typed))) << c.title;
  }
  ui.popupAnswerer = nullptr;
}

}  // namespace
}  // namespace sondrix
