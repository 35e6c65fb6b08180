// SPDX-License-Identifier: GPL-3.0-or-later
// The network output in the window: the Network Output dialog refuses what
// it cannot send to and remembers what it takes in Sondrix.ini; a live run
// sends each recorded line, under the instrument's serial number when no
// data id is given, to a listener of the test's own, shows the lines sent
// under the read-outs and tells them at its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/app_fixtures.h"
#include "app/menu.h"
#include "app/network.h"
#include "common/panels.h"
#include "common/settings.h"
#include "support/udp_listener.h"

namespace sondrix {
namespace {

namespace p = panels;

class NetworkTest : public test::AppTest {};

TEST_F(NetworkTest, TheDialogRefusesWhatItCannotSendToAndRemembersWhatItTakes) {
  Start();
  ui.Commit(p::kNetwork, p::kNetOk, {{p::kNetDestination, std::string("logger")}})
      .Commit(p::kNetwork, p::kNetOk, {{p::kNetDestination, std::string("127.0.0.1:5005")},
                                       {p::kNetId, std::string("two words")}})
      .Commit(p::kNetwork, p::kNetOk, {{p::kNetId, std::string("")}, {p::kNetEvery, 5}, {p::kNetNmea, 1}});
  Menu_HandleEvent(app, p::kMenuNetwork);
  const std::vector<std::string> told = PopupTexts("Network Output");
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0], "Destination: \"logger\" is no HOST:PORT.");
  EXPECT_EQ(told[1], "A data id is one word of at most 63 printable characters.");
  EXPECT_EQ(LoadNetworkSetting(), (NetworkSetting{"127.0.0.1:5005", "", 5, true}));
  EXPECT_EQ(settings::Get(settings::kNetwork, "Nmea"), "yes");

  // Opened again, the dialog shows what it remembers; Cancel changes nothing.
  ui.Then([](platform::HeadlessUi& u) {
      const int dialog = u.NewestHandle(p::kNetwork);
      EXPECT_EQ(u.GetCtrlText(dialog, p::kNetDestination), "127.0.0.1:5005");
      EXPECT_EQ(u.GetCtrlInt(dialog, p::kNetEvery), 5);
      EXPECT_EQ(u.GetCtrlInt(dialog, p::kNetNmea), 1);
    }).Commit(p::kNetwork, p::kNetCancel, {{p::kNetDestination, std::string("")}});
  Menu_HandleEvent(app, p::kMenuNetwork);
  EXPECT_EQ(LoadNetworkSetting().destination, "127.0.0.1:5005");
}

TEST_F(NetworkTest, ALiveRunSendsEachRecordedLineUnderTheSerialNumberAndShowsTheCount) {
  Start();
  test::UdpListener listener;
  ASSERT_TRUE(listener.bound());
  StoreNetworkSetting({listener.Destination(), "", 1, false});
  Feed(1, 8);
  OpenDevice("COM1");
  const auto lines = [this] { return app.session().recording() != nullptr ? app.session().recording()->writtenLines() : 0L; };
  std::string during;
  long sentDuring = 0;
  int visibleDuring = -1;
  std::function<void(platform::HeadlessUi&)> look = [&](platform::HeadlessUi& u) {
    during = Shown(p::kMainNetwork);
    sentDuring = lines();
    if (sentDuring < 30) {
      u.Raw(platform::UserEvent{});
      u.Then(look);
      return;
    }
    visibleDuring = Visible(p::kMainNetwork);
    u.Commit(p::kMain, p::kMainStartStop);
  };
  ui.Then(look);
  ui.AnswerFile(HomeFile("run.dat"));
  EXPECT_EQ(Acquire_Run(app), status::kOk);

  EXPECT_EQ(visibleDuring, 1);
  EXPECT_EQ(during, "UDP " + listener.Destination() + " (unicast)\n" + std::to_string(sentDuring) + " lines sent");
  EXPECT_EQ(Visible(p::kMainNetwork), 0);
  // The fields, then a datagram per line of the saved recording, each
  // under the instrument's serial number.
  const std::vector<std::string> recorded = DataLines(HomeFile("run.dat"));
  const std::vector<std::string> heard = listener.Heard();
  ASSERT_FALSE(recorded.empty());
  ASSERT_EQ(heard.size(), recorded.size() + 1);
  EXPECT_TRUE(heard[0].starts_with("0400012D #fields time,")) << heard[0];
  for (std::size_t k = 1; k < heard.size(); ++k) EXPECT_TRUE(heard[k].starts_with("0400012D 20")) << heard[k];
  const std::string note = "The network output to " + listener.Destination() + " (unicast) sent " +
                           std::to_string(recorded.size()) + " lines and 1 record of the fields; none was dropped";
  const std::vector<std::string> notes = ErrorTexts();
  EXPECT_NE(std::find(notes.begin(), notes.end(), note), notes.end()) << (notes.empty() ? "" : notes.back());
}

}  // namespace
}  // namespace sondrix
