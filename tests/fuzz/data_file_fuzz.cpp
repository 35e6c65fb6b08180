// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes replayed as a data file (title, embedded
// configuration, bin size line, for the hyperspectral meter its column
// headings, sample lines), opened as the program opens one: the embedded
// configuration's device type picks the model's file class (a nine-wavelength
// file when it names none), read to the end through the binned read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include <memory>

#include "datafile/meter_file.h"
#include "datafile/model_files.h"
#include "meter/source_factory.h"
#include "source/source_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  char path[] = "/tmp/sondrix-fuzz-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return 0;
  const bool written = ::write(fd, data, size) == static_cast<ssize_t>(size);
  ::close(fd);
  if (written) {
    std::unique_ptr<sondrix::Source> file;
    if (sondrix::NewSource(file, sondrix::kSourceKindFile, path, "") != 1) {
      file = sondrix::MeterFile::New<sondrix::NeritFile>(path, "");
    }
    if (file && file->Open() == 1 && file->Reset() == 1) {
      file->SetBinsize(3);
      sondrix::SourceLine line(file->GetTraceCount());
      // A data file delivers a line on three polls out of five; every
      // sample line of the input is reached within this many polls.
      for (std::size_t polls = 0; polls < 4 * size + 10; ++polls) {
        const sondrix::Status result = file->Read(line);
        if (result != 1 && result != -1022) break;
      }
      file->Close();
    }
  }
  ::unlink(path);
  return 0;
}
