// SPDX-License-Identifier: GPL-3.0-or-later
// The network output of the window's runs: each recorded line as one UDP
// datagram to the ship's network (session/network_output.h).
//
// The destination, data id, every N-th line and the NMEA form are
// remembered in the [Network] section of the settings, chosen in the
// Network Output dialog (Configure > Network Output...) and opened at the
// start of each live run; an output that cannot be opened is told, and the
// run goes on without it. An empty data id takes the instrument's serial
// number ("0400012D"). A replay in the window sends nothing: its samples
// were taken long ago (sondrix-cli replay --udp-out sends a recording again).
#pragma once

#include <memory>

#include "app/app.h"
#include "common/status.h"
#include "session/network_output.h"
#include "source/source.h"

namespace sondrix {

// The remembered setting; its id as the settings keep it (empty: the
// instrument's serial number).
NetworkSetting LoadNetworkSetting();
void StoreNetworkSetting(const NetworkSetting& setting);

// The Network Output dialog with the remembered setting; OK checks the
// destination and the data id and remembers them (a destination that
// cannot be sent to now is kept only when the user says so). 1, -1021 when
// cancelled, or the panel's failure to load.
Status Network_Configure();

// The remembered output opened for a live run of `source`; null when none
// is set, or when it cannot be opened (told, unless the run is
// unattended: logged).
std::unique_ptr<NetworkOutput> Network_OpenForRun(const App& app, Source& source);

}  // namespace sondrix
