// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum graphs: the values of one moment over wavelength. SpectGraph
// draws every visible trace as a vertical bar at its wavelength;
// SpectGraph2 draws one red curve through the absorption (A) traces and one
// blue curve through the attenuation (C) traces. Both keep the XY graph's
// settings, dialog and configuration line, with the wavelength on the X
// axis; their "X" operations act on the value (Y) axis.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "display/xy_graph.h"
#include "source/source.h"

namespace sondrix {

// More points than this to a spectrum (bars, or points of one curve) make
// it dense: bars of a fixed width would overlap and markers would merge
// into a thick line, so bars become upright lines and curves plain lines.
inline constexpr int kDenseSpectrum = 32;

// Colours of the A and C curves.
inline constexpr int kAbsorptionRGB = 0xFF0000;
inline constexpr int kAttenuationRGB = 0x0000FF;

class SpectGraph : public XYGraph {
 public:
  using XYGraph::XYGraph;

  int GetType() override;
  Status InitPlot(Display& display, int traceCount) override;
  Status Plot(Display& display, const SourceLine& line) override;
  Status DeletePlots() override;
  // Following: the last spectrum of the run; the values (Y) autoscale.
  Status Rebuild(Display& display) override;
  void Follow(Display& display) override;
  bool HasTimeAxis() const override;
  bool HasFollowAxis() const override;

  double wavelength(int trace) const {
    return trace >= 0 && trace < kMaxTraces ? wavelengths_[static_cast<std::size_t>(trace)] : 0.0;
  }

 protected:
  // The value (Y) axis.
  ValueAxis GetValueAxis() override;

  // Fetches the wavelengths and sets the X range to the span of the first
  // `span` of them (the trace count), rounded out to tens of nanometres.
  void InitWavelengths(Display& display, int span);
  // Draws one spectrum (value per trace) in place of the one shown.
  virtual Status DrawSpectrum(Display& display, std::span<const double> values);
  // Whether a trace is drawn; bars stand on 0, so their axis holds it.
  virtual bool Drawn(Display& display, int trace) const;
  virtual bool FromZero() const;

  std::array<double, kMaxTraces> wavelengths_{};
  std::vector<double> spectrum_;
};

class SpectGraph2 : public SpectGraph {
 public:
  using SpectGraph::SpectGraph;

  int GetType() override;

 protected:
  Status DrawSpectrum(Display& display, std::span<const double> values) override;
  bool Drawn(Display& display, int trace) const override;
  bool FromZero() const override;
};

}  // namespace sondrix
