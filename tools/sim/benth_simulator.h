// SPDX-License-Identifier: GPL-3.0-or-later
// The hyperspectral meter's packet stream: one packet per sample, one
// attenuation and one absorption channel per wavelength with its two
// references and two signals, counts chosen so that the program, calibrating
// them with the same device file, reads the simulator's A and C spectrum.
// The instrument also takes command frames: it acknowledges each, and after
// the final command of a settings change outputs every skip-th wavelength
// and talks at the new baud rate.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <vector>

#include "config/benth_meter_config.h"
#include "io/benth_packet.h"
#include "sim/simulator.h"

namespace sondrix::sim {

class BenthSimulator final : public PacketStream {
 public:
  // `config` must have been read; it is copied from.
  BenthSimulator(const BenthMeterConfig& config, const SimSettings& settings);
  std::vector<SimChannel> ChannelList() const override;

  const Emission& Next() override;
  const SimCounts& Counts() const override { return counts_; }
  int SamplesPerPacket() const override { return 1; }
  double SampleSeconds() const override;
  void Input(std::span<const std::uint8_t> bytes) override;
  std::vector<std::uint8_t> TakeReplies() override;
  long LineBaud() const override { return baud_; }
  bool BaudChanged() const override { return baudChanged_; }

  int Channels() const { return channels_; }
  int PacketLength() const { return BenthPacketLength(channels_); }
  // The skip value the packets carry now.
  int Skip() const { return skip_; }
  // Commands received, and acknowledgements left out.
  int Commands() const { return commands_; }
  int DroppedAcks() const { return dropped_; }

 private:
  void MakePacket(BenthPacketFields& fields);
  void Command(std::span<const std::uint8_t, kBenthFrameBytes> frame);
  // From the next packet on, output every skip-th wavelength.
  void SetSpacing(int skip);

  SimSettings settings_;
  std::unique_ptr<BenthMeterConfig> config_;
  int channels_;
  double pathLength_;
  std::vector<double> reference_;  // per channel: nominal reference count
  std::mt19937_64 signal_;
  std::mt19937_64 faults_;
  std::mt19937_64 sensors_;  // the sensor noise of LimitFaults
  long long sample_ = 0;
  long long counterBase_ = 0;  // the sample the time counter last started at
  Emission current_;
  SimCounts counts_;

  // The instrument's settings and the command under way.
  int skip_;
  bool spacingUnasked_ = false;  // skip_ changed by --spacing-change, not by a command
  long baud_;
  bool baudChanged_ = false;
  int pendingSkip_ = 0;
  long pendingBaud_ = 0;
  int commands_ = 0;
  int dropped_ = 0;
  std::vector<std::uint8_t> input_;
  std::vector<std::uint8_t> replies_;
};

}  // namespace sondrix::sim
