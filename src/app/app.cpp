// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app.h"

#include "datafile/data_file.h"
#include "platform/paths.h"

namespace sondrix {

App::~App() = default;

Status App::MakeDisplay() { return Display::New(display_, mainPanel, session_); }

std::string App::ScratchPath() { return platform::JoinPath(platform::GetProjectDir(), kRecordingFile); }

}  // namespace sondrix
