// SPDX-License-Identifier: GPL-3.0-or-later
// The canvas the XY graph and the strip chart draw the run's history on:
// new points redraw only the band they cross, and the picture is then the
// one a whole redraw makes; one spike among a million points is drawn;
// zooms and pans put every point where the axes say.
#include "platform/qt/trace_canvas.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <memory>
#include <random>
#include <utility>

#include <QApplication>
#include <QMouseEvent>

#include "display/time_axis.h"
#include "platform/qt/qt_plot.h"
#include "session/run_history.h"

namespace sondrix::platform::qt {
namespace {

ControlSpec Spec() {
  ControlSpec spec;
  spec.width = 420;
  spec.height = 330;
  spec.points = 100000;
  return spec;
}

PlotAttributes Thin(int rgb) { return {PlotStyle::ThinLine, PointStyle::SimpleDot, LineStyle::Solid, 0, rgb}; }

class CanvasTest : public ::testing::Test {
 protected:
  CanvasTest() {
    graph.resize(420, 330);
    graph.show();
  }
  // A history of `points` entries at most, each trace a curve of plot k + 1
  // on the graph, against time on Y as the XY graph draws it.
  void Curves(std::size_t points, int traces, int rgb = -1) {
    history = std::make_unique<sondrix::RunHistory>(points * static_cast<std::size_t>(traces) + 4, points + 4);
    history->Clear(traces);
    for (int k = 0; k < traces; ++k) {
      ASSERT_EQ(graph.DrawCurve(k + 1, history->TraceCurve(k, sondrix::RunHistory::Keys::Minutes), CurveKeys::OnY,
                                Thin(rgb >= 0 ? rgb : 0x101010 * (k % 12) + 0x0000FF)),
                0);
    }
  }
  // A point of every trace (x: values, y: minutes), as the history adds a bin.
  void Add(double minutes, const std::vector<double>& values) {
    history->Add(std::llround(minutes * 60000.0), 20.0, 0.0, values);
  }
  QImage Whole() {
    graph.canvas()->Invalidate();
    graph.ReplotNow();
    return graph.canvas()->picture().copy();
  }
  // The picture's pixel of data (x, y), from the axes' own map.
  QPoint PixelOf(double x, double y) const {
    const QRect r = graph.axisRect()->rect();
    return {static_cast<int>(std::floor(graph.xAxis->coordToPixel(x) - r.left())),
            static_cast<int>(std::floor(graph.yAxis->coordToPixel(y) - r.top()))};
  }
  static int CountOf(const QImage& image, QRgb color, QRect area) {
    area = area.intersected(image.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) n += image.pixel(x, y) == color ? 1 : 0;
    }
    return n;
  }

  GraphWidget graph{nullptr, Spec()};
  std::unique_ptr<sondrix::RunHistory> history;
};

TEST_F(CanvasTest, NewPointsRedrawOnlyTheirBandAndTheResultIsTheWholeRedraw) {
  std::mt19937 random(11);
  std::normal_distribution<double> step(0.0, 0.01);
  constexpr int kTraces = 18;
  std::vector<double> value(kTraces);
  for (int k = 0; k < kTraces; ++k) value[k] = 0.2 + 0.03 * k;
  graph.xAxis->setRange(0.0, 1.0);
  graph.yAxis->setRange(0.0, 10.0);
  Curves(4100, kTraces);
  graph.ReplotNow();
  int line = 0;
  int bands = 0, compared = 0;
  // From a few points (antialiased lines) to many per pixel row (spans).
  while (line < 4000) {
    const int batch = 1 + static_cast<int>(random() % (line < 400 ? 3 : 60));
    for (int b = 0; b < batch; ++b, ++line) {
      for (int k = 0; k < kTraces; ++k) value[k] += step(random);
      Add(line / 360.0, value);
    }
    graph.CurvesChanged();
    const int wholeBefore = graph.canvas()->wholeDraws();
    graph.canvas()->ReplotLayer();
    const QImage banded = graph.canvas()->picture().copy();
    if (graph.canvas()->wholeDraws() == wholeBefore) ++bands;
    ASSERT_EQ(banded, Whole()) << "after line " << line;
    ++compared;
  }
  EXPECT_GT(bands, compared / 2);
}

TEST_F(CanvasTest, ASingleSpikeAmongAMillionPointsIsDrawn) {
  constexpr int kPoints = 1000000, kSpike = 765432;
  Curves(kPoints, 1, 0xFF0000);
  for (int m = 0; m < kPoints; ++m) Add(m / 360.0, {m == kSpike ? 0.9 : 0.3 + 0.01 * std::sin(m * 0.001)});
  graph.xAxis->setRange(0.0, 1.0);
  graph.yAxis->setRange(0.0, kPoints / 360.0);
  const QImage picture = Whole();
  const QRgb red = qRgb(0xFF, 0, 0);
  const QPoint spike = PixelOf(0.9, kSpike / 360.0);
  // The spike's pixel, and nothing else of the trace so far out.
  EXPECT_GE(CountOf(picture, red, QRect(spike.x() - 1, spike.y() - 1, 3, 3)), 1);
  EXPECT_EQ(CountOf(picture, red, QRect(PixelOf(0.5, 0).x(), 0, picture.width(), picture.height())),
            CountOf(picture, red, QRect(PixelOf(0.5, 0).x(), spike.y() - 1, picture.width(), 3)));
  // Every row of the run has the trace.
  for (int row = PixelOf(0, kPoints / 360.0).y() + 1; row < PixelOf(0, 0).y(); ++row) {
    ASSERT_GE(CountOf(picture, red, QRect(0, row, picture.width(), 1)), 1) << row;
  }
}

TEST_F(CanvasTest, ZoomAndPanPutEveryPointWhereTheAxesSayAndComeBackToTheSamePicture) {
  // A diagonal of 100 000 points, one every 6 ms: value = time / 10.
  constexpr int kPoints = 100000;
  Curves(kPoints, 1, 0x0000FF);
  for (int m = 0; m < kPoints; ++m) {
    const double minutes = m * 6 / 60000.0;
    Add(minutes, {minutes / 10.0});
  }
  const QRgb blue = qRgb(0, 0, 0xFF);
  graph.xAxis->setRange(0.0, 1.0);
  graph.yAxis->setRange(0.0, 10.0);
  const QImage whole = Whole();
  // Zoomed in (points sparser than pixels: antialiased), then moved.
  for (const auto& [lo, span] : {std::pair{2.0, 0.2}, {2.05, 0.002}, {2.5, 0.2}, {7.0, 0.002}}) {
    graph.yAxis->setRange(lo, lo + span);
    graph.xAxis->setRange(lo / 10.0, (lo + span) / 10.0);
    graph.ReplotNow();
    const QImage picture = graph.canvas()->picture();
    for (int row = 2; row < picture.height() - 2; row += 7) {
      const double time = graph.yAxis->pixelToCoord(row + 0.5 + graph.axisRect()->rect().top());
      const int column = PixelOf(time / 10.0, time).x();
      int darkest = -1, best = 256;
      for (int col = 0; col < picture.width(); ++col) {
        const int red = qRed(picture.pixel(col, row)), alpha = qAlpha(picture.pixel(col, row));
        if (alpha > 0 && 255 - alpha + red < best) {
          best = 255 - alpha + red;
          darkest = col;
        }
      }
      ASSERT_NEAR(darkest, column, 1) << "row " << row << " at " << lo;
    }
  }
  graph.xAxis->setRange(0.0, 1.0);
  graph.yAxis->setRange(0.0, 10.0);
  graph.ReplotNow();
  EXPECT_EQ(graph.canvas()->picture(), whole);
  EXPECT_GT(CountOf(whole, blue, whole.rect()), whole.height() / 2);
}

TEST_F(CanvasTest, AStripChartDrawsASpikeAmongAScreenOfAHundredThousandPoints) {
  StripWidget strip(nullptr, Spec());
  strip.resize(420, 330);
  strip.show();
  ASSERT_EQ(strip.SetTraceCount(2), 0);
  ASSERT_EQ(strip.SetPointsPerScreen(100000), 0);
  strip.SetTraceColor(0, 0x00AA00);
  strip.SetTraceColor(1, 0xAA0000);
  strip.SetAxisRange(AxisMode::NoChange, 0, 0, AxisMode::Manual, 0.0, 10.0);
  sondrix::RunHistory run(200004, 100004);
  run.Clear(2);
  for (int m = 0; m < 100000; ++m) {
    const double values[2] = {2.0 + std::sin(m * 0.01), m == 43210 ? 9.0 : 5.0};
    run.Add(m, 20.0, 0.0, values);
  }
  const std::shared_ptr<const Curve> curves[2] = {run.TraceCurve(0, sondrix::RunHistory::Keys::Index),
                                                  run.TraceCurve(1, sondrix::RunHistory::Keys::Index)};
  ASSERT_EQ(strip.SetCurves(curves), 0);
  strip.ReplotNow();
  const QImage picture = strip.canvas()->picture();
  const QRect r = strip.axisRect()->rect();
  const int top = static_cast<int>(strip.yAxis->coordToPixel(9.0) - r.top());
  EXPECT_GE(CountOf(picture, qRgb(0xAA, 0, 0), QRect(0, top - 1, picture.width(), 3)), 1);
  EXPECT_GE(CountOf(picture, qRgb(0, 0xAA, 0), picture.rect()), picture.width() / 2);
}

// A run with a 20 s outage, one entry a second, as the XY graph draws it
// with its time scale (stamp 0 at 2026-12-10 14:05:00 UTC): no pixel
// inside the outage is drawn, and the cursor over the graph reads the
// entry nearest the pointer in time: its clock time and both traces'
// values as they were added; it goes when the pointer leaves.
TEST_F(CanvasTest, AnOutageStaysEmptyAndTheCursorReadsTheNearestLine) {
  Curves(200, 2);
  const auto value = [](int s) { return 0.2 + 0.001 * s; };
  for (int s = 0; s < 120; ++s) {
    if (s >= 60 && s < 80) continue;
    const std::vector<double> values = {value(s), 0.8};
    history->Add(s * 1000, 20.0, 0.0, values, s == 80);
  }
  auto base = std::make_shared<sondrix::TimeBase>();
  base->utcZeroMs = 1796911500000;
  graph.SetTimeScale(false, std::make_shared<sondrix::HistoryTimeScale>(history->columns(),
                                                                         sondrix::RunHistory::Keys::Minutes, base),
                     "Time (UTC)");
  graph.SetAxisRange(AxisMode::Manual, 0.0, 1.0, AxisMode::Manual, 0.0, 2.0);
  graph.CurvesChanged();
  const QImage picture = Whole();
  const int from = PixelOf(0.5, 61.0 / 60.0).y(), to = PixelOf(0.5, 79.0 / 60.0).y();
  ASSERT_LT(to, from - 20);  // time rises upwards
  int inside = 0;
  for (int y = to; y <= from; ++y)
    for (int x = 0; x < picture.width(); ++x) inside += qAlpha(picture.pixel(x, y)) != 0 ? 1 : 0;
  EXPECT_EQ(inside, 0);
  int before = 0;  // the lines are drawn on either side of it
  for (int x = 0; x < picture.width(); ++x) before += qAlpha(picture.pixel(x, PixelOf(0.5, 0.5).y())) != 0 ? 1 : 0;
  EXPECT_GE(before, 2);

  // The pointer at 30.4 s: the line of 30 s.
  const QRect r = graph.axisRect()->rect();
  const QPointF at(r.left() + 40.0, graph.yAxis->coordToPixel(30.4 / 60.0));
  const std::optional<PlotWidget::Readout> readout = graph.ReadAt(at);
  ASSERT_TRUE(readout);
  EXPECT_EQ(readout->key, "14:05:30.0 UTC");
  ASSERT_EQ(readout->values.size(), 2u);
  EXPECT_DOUBLE_EQ(readout->values[0].second, value(30));
  EXPECT_DOUBLE_EQ(readout->values[1].second, 0.8);
  // In the outage, nearer its end: the first line after it.
  EXPECT_EQ(graph.ReadAt(QPointF(at.x(), graph.yAxis->coordToPixel(75.0 / 60.0)))->key, "14:06:20.0 UTC");
  EXPECT_FALSE(graph.ReadAt(QPointF(r.left() - 5.0, at.y())));

  QMouseEvent move(QEvent::MouseMove, at, graph.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&graph, &move);
  ASSERT_NE(graph.cursorLabel(), nullptr);
  EXPECT_TRUE(graph.cursorLabel()->isVisible());
  EXPECT_NE(graph.cursorLabel()->text().indexOf("14:05:30.0 UTC"), -1);
  EXPECT_NE(graph.cursorLabel()->text().indexOf(QString::number(value(30), 'f', 4)), -1);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&graph, &leave);
  EXPECT_FALSE(graph.cursorLabel()->isVisible());
}

}  // namespace
}  // namespace sondrix::platform::qt
