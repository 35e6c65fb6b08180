// SPDX-License-Identifier: GPL-3.0-or-later
// The self-test of whatever source offers one, run without windows (what
// sondrix-cli diag runs): the same test and report as the diagnostics panel,
// over a number of good samples instead of until the stop control.
#pragma once

#include <functional>
#include <string>

#include "common/status.h"
#include "source/source.h"

namespace sondrix {

// Whether `source` has a self-test to run here.
bool OffersSelfTest(Source& source);

// Runs the self-test of an open `source` over `samples` good samples (or
// until `stopRequested` says so: the report then covers the samples taken)
// and writes its report to `path`. `test` receives how the test ended (1 when
// it took its samples, -1003 after its time without data, or the code that
// ended it) and `good` the good samples taken. The result is 1 when the
// report was written, else the failure: the report's (-1002), or the
// test's when it could not start (no report then). A source without a
// self-test gives -1001.
Status RunSelfTest(Source& source, long samples, const std::string& path, Status& test, long& good,
                   const std::function<bool()>& stopRequested = {});

}  // namespace sondrix
