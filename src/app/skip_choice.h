// SPDX-License-Identifier: GPL-3.0-or-later
// A hyperspectral instrument that outputs another spacing than its
// configuration file says (its output was changed and the file not saved)
// cannot be read with that file. Opening it offers the way back: set the
// instrument back to the file's skip value, or keep the instrument's in a
// copy of the file and open with the copy.
#pragma once

#include <memory>

#include "common/status.h"
#include "source/source.h"

namespace sondrix {

// Asks what to do about an opened and reset source whose reset gave -1048
// (the skip values disagree) and does it: the instrument set back and the
// source reset again, or a copy of the file saved with the instrument's
// skip value and opened and reset on the same port in the source's place
// (`source` is then the copy's, or null when it could not be made). The
// result is that of the last reset (1, -1030 a serial number to ask
// about, or a failure), -1021 when the user cancelled, or the failure of
// setting the instrument or saving the copy. A source that is no
// hyperspectral meter gives -1048 unchanged.
Status ResolveSkipMismatch(std::unique_ptr<Source>& source);

}  // namespace sondrix
