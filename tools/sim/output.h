// SPDX-License-Identifier: GPL-3.0-or-later
// Where the simulator's bytes go: a file, standard output, a
// pseudo-terminal it creates (the program opens the other side, the slave,
// as a serial port) or UDP datagrams (the GPS receiver's sentences). Write
// never loses bytes: a slow reader makes the writer wait, and a stop request
// (SIGINT/SIGTERM) ends the wait. Offer never waits: a paced instrument's
// line (SerialLine) loses what a reader leaves unread.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace sondrix::sim {

// Set by the stop handlers; every wait of this unit watches it.
extern volatile std::sig_atomic_t gStopRequested;
// SIGINT and SIGTERM set gStopRequested (without restarting interrupted
// calls); SIGPIPE is ignored so that a closed pipe is an ordinary error.
void InstallStopHandlers();

class Output {
 public:
  enum class Result { kWritten, kStopped, kClosed, kFailed };

  // Creates (or truncates) a file.
  static std::unique_ptr<Output> OpenFile(const std::string& path, std::string& error);
  // Standard output.
  static std::unique_ptr<Output> OpenStdout();
  // A new pseudo-terminal in raw mode. The simulator keeps its own handle
  // on the slave side, so that a reader may open and close it as often as
  // it likes; the bytes wait in the terminal until someone reads them.
  static std::unique_ptr<Output> OpenPty(std::string& error);
  // UDP datagrams to `host` (an IPv4 address, broadcast addresses allowed)
  // on `port`: every Write is one datagram. Nobody listening is no error.
  static std::unique_ptr<Output> OpenUdp(const std::string& host, int port, std::string& error);

  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Writes every byte, waiting while the reader is slow. kStopped when a
  // stop was requested before all were written, kClosed when the reader
  // went away (a closed pipe), kFailed with error() on any other error.
  Result Write(const std::uint8_t* bytes, std::size_t count);
  // Pseudo-terminal: writes as many of the bytes as fit while no more than
  // `keep` wait unread in the terminal, without waiting; `taken` says how
  // many (the caller counts the rest lost). Files and pipes take every byte
  // as Write does. kWritten, or Write's other results.
  Result Offer(const std::uint8_t* bytes, std::size_t count, std::size_t keep, std::size_t& taken);
  // Waits until the monotonic clock reaches `deadline` (seconds, see
  // Now()); false when a stop was requested first.
  bool WaitUntil(double deadline);
  // Pseudo-terminal: waits until the reader has taken every byte, at most
  // `seconds`; false when they were not all taken. Others: true.
  bool Drain(double seconds);

  // Pseudo-terminal: when more than `keep` bytes wait in the terminal
  // unread, they are thrown away (as a serial line loses what nobody reads)
  // and their count is returned; else 0.
  long DiscardUnread(long keep);

  // Pseudo-terminal: what the reader writes goes to `handler` (it is
  // discarded without one). Input is taken in while the writer waits, and
  // by PollInput.
  void SetInputHandler(std::function<void(std::span<const std::uint8_t>)> handler);
  void PollInput();
  // Pseudo-terminal: the baud rate the reader set on its side of the line
  // (0 when it cannot be told).
  long LineBaud() const;

  bool IsPty() const { return pty_; }
  bool IsDatagram() const { return datagram_; }
  // The slave side of the pseudo-terminal ("/dev/pts/N").
  const std::string& SlavePath() const { return slavePath_; }
  const std::string& error() const { return error_; }

  // Monotonic seconds.
  static double Now();
  // The monotonic clock and the UTC clock (CLOCK_REALTIME, microseconds
  // since 1970-01-01T00:00:00Z) read together: the UTC time at the middle
  // of two monotonic readings.
  static void NowWithUtc(double& monotonic, std::int64_t& utcMicroseconds);

 private:
  Output(int fd, bool owned, bool pty);
  // Reads what the reader wrote to the pseudo-terminal.
  void ReadInput();
  // UDP: the bytes as one datagram.
  Result SendDatagram(const std::uint8_t* bytes, std::size_t count);

  int fd_;
  bool owned_;
  bool pty_;
  // UDP: where each Write goes (network byte order).
  bool datagram_ = false;
  std::uint32_t udpAddress_ = 0;
  std::uint16_t udpPort_ = 0;
  int slaveFd_ = -1;
  std::string slavePath_;
  std::string error_;
  std::function<void(std::span<const std::uint8_t>)> onInput_;
};

// Points the symbolic link `link` at `target`, replacing what it was (never
// half done: a reader opening the link meanwhile finds the old target or the
// new one). False with errno set when it cannot be made.
bool PointLink(const std::string& link, const std::string& target);

// The output baud rate a terminal is set to, or 0.
long TerminalBaud(int fd);

}  // namespace sondrix::sim
