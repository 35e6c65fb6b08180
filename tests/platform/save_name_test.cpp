// SPDX-License-Identifier: GPL-3.0-or-later
// Names typed into save dialogs and the names written: a name without an
// extension gets the dialog's, whichever backend asked, and the dialog's
// answer (a file that exists or a new name) is about the name written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless_ui.h"
#include "platform/ui.h"
#include "support/fixtures.h"

namespace sondrix::platform {
namespace {

FileSelectRequest SaveDialog(std::string defaultSpec, std::string typeList = "") {
  FileSelectRequest request;
  request.defaultSpec = std::move(defaultSpec);
  request.typeList = std::move(typeList);
  request.mode = FileDialogMode::Save;
  return request;
}

struct Case {
  std::string defaultSpec;
  std::string typeList;
  std::string typed;
  std::string written;
};

TEST(SaveNameTest, TypedNamesAndTheNamesWritten) {
  const std::vector<Case> cases = {
      // Every save dialog of the program, a name typed without extension.
      {"*.dat", "", "/data/run1", "/data/run1.dat"},
      {"*.gph", "", "/data/state1", "/data/state1.gph"},
      {"*.dev", "", "/dev-files/edited", "/dev-files/edited.dev"},
      {"*.rpt", "", "/reports/diag9", "/reports/diag9.rpt"},
      {"*.png", "*.png;*.pdf", "/data/picture", "/data/picture.png"},
      // Any extension typed is kept, whatever its case or length.
      {"*.png", "*.png;*.pdf", "/data/picture.pdf", "/data/picture.pdf"},
      {"*.dat", "", "/data/run1.txt", "/data/run1.txt"},
      {"*.dat", "", "/data/RUN1.DAT", "/data/RUN1.DAT"},
      {"*.dat", "", "/data/run.1", "/data/run.1"},
      {"*.dat", "", "/data/archive.tar.gz", "/data/archive.tar.gz"},
      // Dots that end a name are a slip: they give way to the extension.
      {"*.dat", "", "/data/run1.", "/data/run1.dat"},
      {"*.dat", "", "/data/run1...", "/data/run1.dat"},
      {"*.dat", "", "/data/run1.txt.", "/data/run1.txt"},
      // Only the last component counts: a dot in a folder is no extension.
      {"*.dat", "", "/data.old/run1", "/data.old/run1.dat"},
      {"*.dat", "", "C:\\data.old\\run1", "C:\\data.old\\run1.dat"},
      {"*.dat", "", "run1", "run1.dat"},
      // A hidden name's leading dot is no extension either.
      {"*.gph", "", "/data/.state", "/data/.state.gph"},
      // The first pattern of a list, a default name's extension, the type
      // list when there is no default.
      {"*.cal;*.dev", "", "/d/x", "/d/x.cal"},
      {"*.cal *.dev", "", "/d/x", "/d/x.cal"},
      {"default.rpt", "", "/d/x", "/d/x.rpt"},
      {"", "*.dev;*.cal", "/d/x", "/d/x.dev"},
      // Dialogs without an extension of their own add none.
      {"*", "", "/d/x", "/d/x"},
      {"*.*", "", "/d/x", "/d/x"},
      {"*.da?", "", "/d/x", "/d/x"},
      {"default", "", "/d/x", "/d/x"},
      {"", "", "/d/x", "/d/x"},
      // Nothing to complete.
      {"*.dat", "", "", ""},
      {"*.dat", "", "/data/..", "/data/.."},
      {"*.dat", "", "/data/", "/data/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SaveName(SaveDialog(c.defaultSpec, c.typeList), c.typed), c.written)
        << "typed '" << c.typed << "' in a dialog of '" << c.defaultSpec << "' / '" << c.typeList << "'";
  }
  // A load dialog opens what was chosen, as it is.
  FileSelectRequest load = SaveDialog("*.dat");
  load.mode = FileDialogMode::Load;
  EXPECT_EQ(SaveName(load, "/data/run1"), "/data/run1");
}

class SaveDialogTest : public test::HeadlessTest {};

TEST_F(SaveDialogTest, TheAnswerIsAboutTheNameWritten) {
  const std::string existing = test::WriteTextFile(HomeFile("run1.dat"), "kept");
  test::WriteTextFile(HomeFile("fresh"), "a file of the name as typed");
  const FileSelectRequest request = SaveDialog("*.dat");
  std::string path;

  // "run1" is new as typed, but run1.dat exists: the caller must ask.
  ui.AnswerFile(HomeFile("run1"));
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::Existing);
  EXPECT_EQ(path, existing);
  // "fresh" exists as typed, but fresh.dat does not.
  ui.AnswerFile(HomeFile("fresh"));
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::New);
  EXPECT_EQ(path, HomeFile("fresh.dat"));
  // A name kept as typed keeps the dialog's own answer.
  ui.AnswerFile(HomeFile("other.dat"), FileSelectResult::Existing);
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::Existing);
  EXPECT_EQ(path, HomeFile("other.dat"));
  // A folder chosen stays the folder, for its writer to refuse.
  ui.AnswerFile(home.path());
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::Existing);
  EXPECT_EQ(path, home.path());
  // Nothing chosen leaves the name alone.
  path = "unchanged";
  ui.CancelFile();
  EXPECT_EQ(ui.FileSelectPopup(request, path), FileSelectResult::None);
  EXPECT_EQ(path, "unchanged");
  // The dialog's record keeps what was typed.
  ASSERT_EQ(ui.fileDialogs().size(), 5u);
  EXPECT_EQ(ui.fileDialogs()[0].path, HomeFile("run1"));
  EXPECT_TRUE(ui.problems().empty());
}

}  // namespace
}  // namespace sondrix::platform
