// The fields every configuration editor shows the same way: device name,
// baud rate, path length, depth calibration, device type (shown only) and
// the serial number the user sees (the low 16 bits of the serial word).
#pragma once

#include "config/config.h"

namespace sondrix {

struct CommonFieldIds {
  int name;
  int baud;
  int pathLength;
  int depthOffset;
  int depthScale;
  int devType;
  int serial;
};

void ShowCommonFields(int panel, const CommonFieldIds& ids, const Config& config);

// Takes the fields from the panel into `config`. An emptied device name
// keeps the old one (a file whose first line is empty could not be read
// again); the device type and bits 16-23 of the serial word stay as they
// are. False, with the error shown, when the baud rate is not one a file
// may hold.
bool TakeCommonFields(int panel, const CommonFieldIds& ids, Config& config);

}  // namespace sondrix
