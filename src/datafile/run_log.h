// SPDX-License-Identifier: GPL-3.0-or-later
// What the log says of one acquisition run: where it reads from when it
// starts, why it ended (both at debug level) and what it recorded and lost
// (info). The application's run and `sondrix-cli record` each hold one for
// the length of the run.
#pragma once

#include "common/status.h"

namespace sondrix {

class DataFile;
class Source;

class RunLog {
 public:
  // The run starts now: the source, its port, serial number and bin size.
  explicit RunLog(Source& source);
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // The run's loop ended with `result` (1 stopped, -1021 stopped too,
  // -1017 the end of a replay, else the error that ended it).
  void Ended(Status result);
  // Once the recording is closed: what the run recorded (`recording`, none
  // when it recorded nothing) and lost. Once; later calls say nothing.
  void Summary(const DataFile* recording);

 private:
  Source& source_;
  double start_;
  double seconds_ = -1.0;  // the run's length, once it ended
  Status result_ = status::kOk;
  bool summarised_ = false;
};

}  // namespace sondrix
