// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt backend's tests need one QApplication for the whole program. It is
// made the program's way (QtApplication) on Qt's offscreen platform, under a
// desktop language that writes numbers with a decimal comma when the system
// has one, so that the tests see that numbers keep their decimal point.
#include <gtest/gtest.h>

#include <QByteArray>
#include <clocale>
#include <cstdlib>

#include "platform/qt/qt_ui.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) setenv("LC_ALL", "de_DE.UTF-8", 1);
  std::setlocale(LC_ALL, "C");
  sondrix::platform::qt::QtApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
