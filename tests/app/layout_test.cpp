// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layout over the sizes a window can have: at the
// resource file's size every control is where the file puts it; at any
// other size no two controls cover each other, every control lies within
// the place the layout takes, and that place is the window's own whenever
// the window is at least the smallest layout (a laptop's 1366 x 768, a
// 1920 x 1080 screen at 150 %).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/app_fixtures.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "common/panels.h"
#include "common/settings.h"
#include "platform/uir.h"

namespace sondrix {
namespace {

namespace p = panels;

// The main panel as the resource file gives it, read on its own.
const platform::PanelSpec& MainSpec() {
  static const platform::UirFile file = [] {
    std::string error;
    std::optional<platform::UirFile> read = platform::LoadUir(platform::UirPath(), error);
    EXPECT_TRUE(read.has_value()) << error;
    return read.value_or(platform::UirFile{});
  }();
  static const platform::PanelSpec empty;
  const platform::PanelSpec* spec = file.FindPanel(p::kMain);
  return spec != nullptr ? *spec : empty;
}

bool IsGraph(int id) {
  for (const int g : GraphControls())
    if (g == id) return true;
  return false;
}

bool Overlap(const CtrlRect& a, const CtrlRect& b) {
  return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

bool Inside(const CtrlRect& inner, const CtrlRect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right() <= outer.right() &&
         inner.bottom() <= outer.bottom();
}

// The read-outs the frame behind them holds.
const std::set<int>& InFrame() {
  static const std::set<int> ids = {p::kMainRate,        p::kMainRateUnit, p::kMainLost,
                                    p::kMainStatus,      p::kMainBinsize1, p::kMainBinsize2,
                                    p::kMainTempCaption, p::kMainTemp,     p::kMainExtTempCaption,
                                    p::kMainExtTemp,     p::kMainDepthCaption, p::kMainDepth,
                                    p::kMainDiagnostics, p::kMainProgress, p::kMainPosition,
                                    p::kMainShipData,    p::kMainNetwork};
  return ids;
}

// What is wrong with a placement, in words (nothing when it is sound).
std::vector<std::string> Faults(const Placement& placement, int height, int width) {
  std::vector<std::string> faults;
  const CtrlRect all{0, 0, placement.width, placement.height};
  const auto& places = placement.places;
  for (const auto& [id, r] : places) {
    if (!Inside(r, all)) faults.push_back("control " + std::to_string(id) + " outside the layout");
    if (r.width <= 0 || r.height <= 0) faults.push_back("control " + std::to_string(id) + " has no size");
  }
  for (auto a = places.begin(); a != places.end(); ++a) {
    for (auto b = std::next(a); b != places.end(); ++b) {
      if (IsGraph(a->first) && IsGraph(b->first)) continue;  // one shown at a time
      if (a->first == p::kMainFocus || b->first == p::kMainFocus) continue;  // the frame, below
      if (Overlap(a->second, b->second))
        faults.push_back("controls " + std::to_string(a->first) + " and " + std::to_string(b->first) + " overlap");
    }
  }
  const CtrlRect frame = places.at(p::kMainFocus);
  for (const auto& [id, r] : places) {
    if (id == p::kMainFocus) continue;
    const bool inside = Inside(r, frame);
    if (InFrame().contains(id) != inside)
      faults.push_back("control " + std::to_string(id) + (inside ? " inside" : " outside") + " the frame");
  }
  const CtrlRect graph = places.at(p::kMainXYGraph);
  if (graph.width < kMinGraphWidth || graph.height < kMinGraphHeight) faults.push_back("graph below its smallest");
  // The window is the layout's place whenever it is large enough for it;
  // a layout never takes more than the smallest one needs beyond it.
  if (placement.width < width || placement.height < height) faults.push_back("layout smaller than the window");
  return faults;
}

class LayoutTest : public test::AppTest {
 protected:
  int Attr(int control, platform::Attr attr) {
    platform::CtrlValue value;
    ui.GetCtrlAttribute(app.mainPanel, control, attr, value);
    return std::get<int>(value);
  }
  int PanelAttr(platform::Attr attr) {
    platform::CtrlValue value;
    ui.GetPanelAttribute(app.mainPanel, attr, value);
    return std::get<int>(value);
  }
  void SetPanelSize(int height, int width) {
    ui.SetPanelAttribute(app.mainPanel, platform::Attr::Height, height);
    ui.SetPanelAttribute(app.mainPanel, platform::Attr::Width, width);
    CheckPanelSize(app.mainPanel, app.layout);
  }
  CtrlRect Shown(int id) {
    return {Attr(id, platform::Attr::Left), Attr(id, platform::Attr::Top), Attr(id, platform::Attr::Width),
            Attr(id, platform::Attr::Height)};
  }
};

TEST_F(LayoutTest, AtTheResourceFilesSizeEveryControlIsWhereTheFilePutsIt) {
  Start();
  const platform::PanelSpec& spec = MainSpec();
  ASSERT_EQ(app.layout.origPnlWt, spec.width);
  ASSERT_EQ(app.layout.origPnlHt, spec.height);
  // Through a resize and back: the preferred layout comes back exactly.
  SetPanelSize(600, 900);
  SetPanelSize(spec.height, spec.width);
  const Placement placement = LayOut(app.layout, spec.height, spec.width);
  EXPECT_EQ(placement.width, spec.width);
  EXPECT_EQ(placement.height, spec.height);
  for (const platform::ControlSpec& c : spec.controls) {
    const CtrlRect file{c.left, c.top, c.width, c.height};
    EXPECT_EQ(Shown(c.id), file) << c.name;
    if (placement.places.contains(c.id)) {
      EXPECT_EQ(placement.places.at(c.id), file) << c.name;
    }
  }
}

// Widths from 400 to 2000 and heights from 240 to 1400: every layout sound,
// the window's own place used whenever it is at least the smallest layout,
// and that smallest layout well inside the screens the program must fit.
TEST_F(LayoutTest, EverySizeGivesASoundLayout) {
  Start();
  const Placement smallest = LayOut(app.layout, 1, 1);
  EXPECT_TRUE(Faults(smallest, 1, 1).empty());
  EXPECT_LE(smallest.width, 800);
  // 680 before the ship's data read-out, which adds its two lines below
  // the depth when the strip wraps: 704 and the window's frame still fit
  // a 768-pixel-high screen.
  EXPECT_LE(smallest.height, 704);
  // As wide as the resource file's layout, the strip need not wrap: the
  // smallest layout is well inside 1280 x 720 less menu bar and frame.
  EXPECT_LE(LayOut(app.layout, 1, app.layout.origPnlWt).height, 620);
  int sizes = 0;
  for (int width = 400; width <= 2000; width += 37) {
    // The smallest layout of this width (a strip wrapped more needs more
    // height; a wider window is never given a wider layout than it).
    const Placement least = LayOut(app.layout, 1, width);
    EXPECT_LE(least.height, 704) << width;
    EXPECT_EQ(least.width, std::max(width, smallest.width)) << width;
    for (int height = 240; height <= 1400; height += 29) {
      const Placement placement = LayOut(app.layout, height, width);
      for (const std::string& fault : Faults(placement, height, width))
        ADD_FAILURE() << width << " x " << height << ": " << fault;
      EXPECT_EQ(placement.width, std::max(width, smallest.width)) << width << " x " << height;
      EXPECT_EQ(placement.height, std::max(height, least.height)) << width << " x " << height;
      ++sizes;
    }
  }
  EXPECT_GT(sizes, 1000);
}

TEST_F(LayoutTest, TheGraphTakesWhatTheWindowGainsAndLosesAndTheLabelsCloseUpLast) {
  Start();
  const int w0 = app.layout.origPnlWt, h0 = app.layout.origPnlHt;
  int lastGraph = 0;
  for (int width = 400; width <= 1800; width += 50) {
    const CtrlRect graph = LayOut(app.layout, h0, width).places.at(p::kMainXYGraph);
    EXPECT_GE(graph.width, lastGraph) << width;  // never smaller for a wider window
    lastGraph = graph.width;
    if (width >= w0 - (app.layout.origGphWt - kMinGraphWidth)) {
      EXPECT_EQ(graph.width, app.layout.origGphWt + width - w0) << width;
    }
  }
  // A little shorter: the graph gives up the height, the labels keep their
  // pitch; much shorter: the labels come closer, never below their least.
  const auto pitch = [](const Placement& placement) {
    return placement.places.at(p::kMainLabel0).top - placement.places.at(p::kMainLabel0 + 1).top;
  };
  const Placement shorter = LayOut(app.layout, h0 - 40, w0);
  EXPECT_EQ(shorter.places.at(p::kMainXYGraph).height, app.layout.origGphHt - 40);
  EXPECT_EQ(pitch(shorter), 26);
  const Placement laptop = LayOut(app.layout, 768 - 100, 1366);
  EXPECT_LT(pitch(laptop), 26);
  EXPECT_GE(pitch(laptop), kMinLabelPitch);
  EXPECT_EQ(laptop.height, 668);
  EXPECT_EQ(pitch(LayOut(app.layout, 300, w0)), kMinLabelPitch);
}

TEST_F(LayoutTest, ANarrowWindowWrapsTheStripAndKeepsItsOrder) {
  Start();
  const Placement narrow = LayOut(app.layout, 900, 760);
  const auto& at = narrow.places;
  // The start/stop button has gone below the zoom buttons; the depth
  // read-out below the rate.
  EXPECT_GT(at.at(p::kMainStartStop).top, at.at(p::kMainZoomIn).bottom());
  EXPECT_LT(at.at(p::kMainStartStop).left, at.at(p::kMainZoomOut).left);
  EXPECT_GT(at.at(p::kMainDepth).top, at.at(p::kMainRate).top);
  // Every read-out still inside the window across.
  for (const int id : InFrame()) EXPECT_LE(at.at(id).right(), 760) << id;
  // The frame grew with the rows; the program's name is in its corner.
  const CtrlRect frame = at.at(p::kMainFocus);
  EXPECT_GT(frame.height, app.layout.loaded.at(p::kMainFocus).height);
  EXPECT_EQ(frame.right() - at.at(p::kMainDiagnostics).right(), 5);
}

TEST_F(LayoutTest, TheWindowMayBeMadeMuchSmallerThanTheLayout) {
  Start();
  EXPECT_EQ(PanelAttr(platform::Attr::MinHeight), kMinPanelHeight);
  EXPECT_EQ(PanelAttr(platform::Attr::MinWidth), kMinPanelWidth);
  // The user drags the window small: it keeps the smallest layout, which
  // the platform scrolls.
  SetPanelSize(200, 300);
  EXPECT_EQ(PanelAttr(platform::Attr::Height), kMinPanelHeight);
  EXPECT_EQ(PanelAttr(platform::Attr::Width), kMinPanelWidth);
  const Placement smallest = LayOut(app.layout, kMinPanelHeight, kMinPanelWidth);
  for (const auto& [id, r] : smallest.places) EXPECT_EQ(Shown(id), r) << id;
  // A size remembered from a laptop comes back as it was.
  settings::SetInt(settings::kDisplay, settings::kHeight, 650);
  settings::SetInt(settings::kDisplay, settings::kWidth, 1300);
  ReadStartup(app);
  EXPECT_EQ(PanelAttr(platform::Attr::Height), 650);
  EXPECT_EQ(PanelAttr(platform::Attr::Width), 1300);
  EXPECT_EQ(Shown(p::kMainXYGraph).width, app.layout.origGphWt + 120);
  EXPECT_EQ(app.layout.oldPnlHt, 650);
}

TEST_F(LayoutTest, WideningBy100MovesTheListedControlsAndWidensTheGraphs) {
  Start();
  std::vector<int> lefts;
  for (int id : XElements()) lefts.push_back(Attr(id, platform::Attr::Left));
  const int top = Attr(p::kMainStartStop, platform::Attr::Top);
  SetPanelSize(760, 1280);
  std::size_t i = 0;
  for (int id : XElements()) EXPECT_EQ(Attr(id, platform::Attr::Left), lefts[i++] + 100) << id;
  for (int id : GraphControls()) {
    EXPECT_EQ(Attr(id, platform::Attr::Width), 960) << id;
    EXPECT_EQ(Attr(id, platform::Attr::Height), app.layout.origGphHt) << id;
  }
  // Not taller: nothing moved down; the title stays where it is.
  EXPECT_EQ(Attr(p::kMainStartStop, platform::Attr::Top), top);
  EXPECT_EQ(Attr(p::kMainTitle, platform::Attr::Left), 10);
  // The first twenty of the list are the trace labels.
  for (int k = 0; k < 20; ++k) EXPECT_EQ(XElements()[static_cast<std::size_t>(k)], p::kMainLabel0 + k);
}

TEST_F(LayoutTest, GrowingTallerMovesTheControlsBelowTheGraphDown) {
  Start();
  const int start = Attr(p::kMainStartStop, platform::Attr::Top);
  const int label = Attr(p::kMainLabel0, platform::Attr::Top);
  SetPanelSize(860, 1180);
  EXPECT_EQ(Attr(p::kMainStartStop, platform::Attr::Top), start + 100);
  EXPECT_EQ(Attr(p::kMainXYGraph, platform::Attr::Height), app.layout.origGphHt + 100);
  EXPECT_EQ(Attr(p::kMainLabel0, platform::Attr::Top), label);
  for (int id : YElements()) EXPECT_GE(Attr(id, platform::Attr::Top), 600) << id;
}

}  // namespace
}  // namespace sondrix
