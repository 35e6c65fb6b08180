// SPDX-License-Identifier: GPL-3.0-or-later
// SampleStream: the run's calibrated lines, handed once and in order to
// every consumer that subscribed.
//
// The run records each line first (the recorder is never skipped and never
// waits for anyone), then publishes it here. Consumers are of two kinds:
//
// - Keeping consumers take every line at once, as it is published, even
//   while the source is behind. They must be cheap and never wait: they are
//   part of the run's own pace.
// - Following consumers (the run's history and the graphs and read-outs,
//   later the processing for the display and the network output) take the lines when the run has
//   time for them: a published line waits in the consumer's queue of
//   `queue` lines until Deliver, which the run calls whenever its source is
//   not behind. A consumer whose queue is full when a line comes is told of
//   the oldest line it will not get (Missed) and that line is dropped from
//   its queue: a slow consumer can never stall the acquisition, and each
//   line reaches each consumer exactly once, by Take or by Missed, in the
//   order the run read them. A queue of 0 lines takes a line only when the
//   run has time at once (the display: a line drawn late is no use to the
//   eye, but it still counts).
//
// Everything happens on the run's thread, between its reads.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

#include "common/status.h"
#include "source/source_line.h"

namespace sondrix {

class SampleConsumer {
 public:
  virtual ~SampleConsumer() = default;
  // A line of the run, in order. Anything but 1 ends the run with it.
  virtual Status Take(const SourceLine& line) = 0;
  // A line this consumer will not get: it fell behind (count it, do not
  // wait for it).
  virtual void Missed(const SourceLine& /*line*/) {}
};

class SampleStream {
 public:
  SampleStream() = default;
  SampleStream(const SampleStream&) = delete;
  SampleStream& operator=(const SampleStream&) = delete;

  // `consumer` (not owned; it stays until Unsubscribe) takes every line at
  // once, before any following consumer sees it.
  void Keep(SampleConsumer& consumer);
  // `consumer` takes the lines when the run has time, at most `queue`
  // lines behind.
  void Follow(SampleConsumer& consumer, std::size_t queue);
  void Unsubscribe(SampleConsumer& consumer);

  // One line of the run: the keeping consumers take it, the following ones
  // queue it (each told of a line that fell out of its full queue), and
  // unless the source is `behind` every queue is delivered. 1, or the
  // first consumer's result that was not 1 (the rest still take the line).
  Status Publish(const SourceLine& line, bool behind = false);
  // A line the publisher itself has nothing of for its consumers (a stage
  // upstream missed it): the lines queued before it are delivered, then
  // every consumer is told of it (Missed), so that the order holds. 1, or
  // the first result of the delivery that was not 1.
  Status Pass(const SourceLine& line);
  // Hands every queued line to its consumer; 1, or the first result not 1.
  Status Deliver();
  // Lines waiting in the queues, and lines the following consumers missed
  // since they subscribed.
  std::size_t queued() const;
  long missed() const { return missed_; }

 private:
  struct Follower {
    SampleConsumer* consumer;
    std::size_t queue;
    std::deque<SourceLine> lines;
    // Lines kept for reuse, so that a queue does not allocate per line.
    std::vector<SourceLine> spare;
  };
  static void Enqueue(Follower& follower, const SourceLine& line);

  std::vector<SampleConsumer*> keepers_;
  std::vector<std::unique_ptr<Follower>> followers_;
  long missed_ = 0;
};

}  // namespace sondrix
