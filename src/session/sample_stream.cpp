// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/sample_stream.h"

#include <algorithm>

namespace sondrix {
namespace {

Status FirstFailure(Status sofar, Status next) { return sofar == status::kOk ? next : sofar; }

}  // namespace

void SampleStream::Keep(SampleConsumer& consumer) {
  Unsubscribe(consumer);
  keepers_.push_back(&consumer);
}

void SampleStream::Follow(SampleConsumer& consumer, std::size_t queue) {
  Unsubscribe(consumer);
  followers_.push_back(std::make_unique<Follower>(Follower{&consumer, queue, {}, {}}));
}

void SampleStream::Unsubscribe(SampleConsumer& consumer) {
  std::erase(keepers_, &consumer);
  std::erase_if(followers_, [&](const std::unique_ptr<Follower>& f) { return f->consumer == &consumer; });
}

void SampleStream::Enqueue(Follower& follower, const SourceLine& line) {
  if (follower.spare.empty()) {
    follower.lines.push_back(line);
  } else {
    // Copy-assigned over a line that held as many values: no allocation.
    follower.spare.back() = line;
    follower.lines.push_back(std::move(follower.spare.back()));
    follower.spare.pop_back();
  }
}

Status SampleStream::Publish(const SourceLine& line, bool behind) {
  Status result = status::kOk;
  for (SampleConsumer* keeper : keepers_) result = FirstFailure(result, keeper->Take(line));
  for (const std::unique_ptr<Follower>& follower : followers_) {
    if (follower->queue == 0) {
      // Nothing waits: the line is taken now or missed.
      if (behind) {
        follower->consumer->Missed(line);
        ++missed_;
      } else {
        result = FirstFailure(result, follower->consumer->Take(line));
      }
      continue;
    }
    if (follower->lines.size() >= follower->queue) {
      follower->consumer->Missed(follower->lines.front());
      ++missed_;
      follower->spare.push_back(std::move(follower->lines.front()));
      follower->lines.pop_front();
    }
    Enqueue(*follower, line);
  }
  if (!behind) result = FirstFailure(result, Deliver());
  return result;
}

Status SampleStream::Pass(const SourceLine& line) {
  const Status result = Deliver();
  for (SampleConsumer* keeper : keepers_) keeper->Missed(line);
  for (const std::unique_ptr<Follower>& follower : followers_) follower->consumer->Missed(line);
  missed_ += static_cast<long>(followers_.size());
  return result;
}

Status SampleStream::Deliver() {
  Status result = status::kOk;
  for (const std::unique_ptr<Follower>& follower : followers_) {
    while (!follower->lines.empty()) {
      result = FirstFailure(result, follower->consumer->Take(follower->lines.front()));
      follower->spare.push_back(std::move(follower->lines.front()));
      follower->lines.pop_front();
    }
  }
  return result;
}

std::size_t SampleStream::queued() const {
  std::size_t lines = 0;
  for (const std::unique_ptr<Follower>& follower : followers_) lines += follower->lines.size();
  return lines;
}

}  // namespace sondrix
