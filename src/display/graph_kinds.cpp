// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/graph_kinds.h"

#include <array>

#include "common/panels.h"
#include "display/spect_graph.h"
#include "display/strip.h"
#include "display/temp_graph.h"
#include "display/xy_graph.h"

namespace sondrix {
namespace {

namespace p = panels;

template <class G>
std::unique_ptr<Graph> Make(int panel, int control, int menuItem) {
  return std::make_unique<G>(panel, control, menuItem);
}

constexpr std::array<GraphKind, kGraphKindCount> kKinds = {{
    {graph_type::kXY, p::kMainXYGraph, p::kMenuXYGraph, "XYGraph", false, true, &Make<XYGraph>},
    {graph_type::kStrip, p::kMainStripChart, p::kMenuStripChart, "Strip", false, false, &Make<Strip>},
    {graph_type::kTemp, p::kMainTempGraph, p::kMenuTempGraph, "TempGraph", false, true, &Make<TempGraph>},
    {graph_type::kDepth, p::kMainDepthGraph, p::kMenuDepthGraph, "DepthGraph", true, true, &Make<DepthGraph>},
    {graph_type::kSpect, p::kMainSpectGraph, p::kMenuSpectGraph, "SpectGraph", false, false, &Make<SpectGraph>},
    {graph_type::kSpect2, p::kMainSpect2Graph, p::kMenuSpect2Graph, "SpectGraph2", false, false, &Make<SpectGraph2>},
}};

constexpr bool InTypeOrder() {
  for (std::size_t k = 0; k < kKinds.size(); ++k) {
    if (kKinds[k].type != static_cast<int>(k) + 1) return false;
  }
  return true;
}
static_assert(InTypeOrder(), "the rows are the types 1 ... kGraphKindCount in order");

}  // namespace

std::span<const GraphKind> GraphKinds() { return kKinds; }

const GraphKind* GraphKindOfType(int type) {
  return type >= 1 && type <= kGraphKindCount ? &kKinds[static_cast<std::size_t>(type) - 1] : nullptr;
}

const GraphKind* GraphKindOfMenuItem(int menuItem) {
  for (const GraphKind& kind : kKinds) {
    if (kind.menuItem == menuItem) return &kind;
  }
  return nullptr;
}

}  // namespace sondrix
