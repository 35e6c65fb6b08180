// SPDX-License-Identifier: GPL-3.0-or-later
// What the Qt backend's windows look like, checked on Qt's offscreen
// platform: a recalled strip chart keeps its colours, the colour dialog is
// not painted in the colour of its swatch, the port prompt shows its whole
// text, tick labels stay distinct however deep the zoom, the bars of one
// wavelength stand side by side, and an exported picture carries its title
// and legend.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>

#include "common/panels.h"
#include "display/display.h"
#include "display/display_fixtures.h"
#include "platform/qt/qt_plot.h"
#include "platform/qt/qt_ui.h"
#include "support/fixtures.h"

namespace sondrix::platform::qt {
namespace {

namespace p = panels;

class QtLooksTest : public ::testing::Test {
 protected:
  QtLooksTest() : home_("SONDRIX_HOME", dir.path()), scoped_(ui) { main = ui.LoadPanel(0, p::kMain); }

  // A Display on the main panel with a nine-wavelength source (A and C of
  // a wavelength in one colour, as the meters' configurations give them).
  test::FakeSource* AttachNine(Display& display, int type) {
    auto source = test::NineWavelengthSource(dir.File("nerit.dev"));
    for (int i = 0; i < 18; ++i) source->colors[static_cast<std::size_t>(i)] = 2 + i % 9;
    test::FakeSource* raw = source.get();
    EXPECT_EQ(display.Attach(std::move(source)), status::kOk);
    display.ShowGraph(type);
    return raw;
  }

  static SourceLine NineLine(double a, double c, std::int32_t timeMs) {
    std::vector<double> values(9, a);
    values.insert(values.end(), 9, c);
    return test::Line(values, timeMs);
  }

  test::TempDir dir;
  test::ScopedEnv home_;
  QtUi ui;
  ScopedUi scoped_;
  int main = 0;
};

TEST_F(QtLooksTest, ARecalledStripChartKeepsItsTraceColours) {
  Session session;
  std::unique_ptr<Display> display;
  ASSERT_EQ(Display::New(display, main, session), status::kOk);
  AttachNine(*display, graph_type::kStrip);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  for (int i = 0; i < 20; ++i) session.Publish(NineLine(0.1 * i, 0.2 * i, 167 * i));
  const std::string path = dir.File("strip.gph");
  ASSERT_EQ(ui.SavePanelState(main, path, 0), 0);

  // Recalled into a fresh window, and into the same one after its traces
  // were set black.
  const int other = ui.LoadPanel(0, p::kMain);
  ASSERT_EQ(ui.RecallPanelState(other, path, 0), 0);
  for (int k = 0; k < 18; ++k) ui.SetTraceAttribute(main, p::kMainStripChart, k, Attr::TraceColor, 0);
  ASSERT_EQ(ui.RecallPanelState(main, path, 0), 0);
  for (const int panel : {other, main}) {
    StripWidget* strip = ui.Strip(panel, p::kMainStripChart);
    ASSERT_EQ(strip->plottableCount(), 18);
    for (int k = 0; k < 18; ++k) {
      const QColor pen = strip->plottable(k)->pen().color();
      EXPECT_NE(pen, QColor(Qt::black)) << k;
      EXPECT_EQ(pen, ToColor(display->TraceRGB(k))) << k;
    }
    EXPECT_EQ(strip->Points().size(), 18u * 20u);
  }
}

TEST_F(QtLooksTest, TheColourDialogIsNotPaintedInTheSwatchColour) {
  const int panel = ui.LoadPanel(0, p::kMeterConfig);
  ASSERT_GT(panel, 0);
  ASSERT_EQ(ui.SetCtrlVal(panel, p::kMcColor, 0xFF0000), 0);
  ui.DisplayPanel(panel);
  auto* swatch = qobject_cast<QPushButton*>(ui.Widget(panel, p::kMcColor));
  ASSERT_NE(swatch, nullptr);

  const QColor red(0xFF, 0x00, 0x00);
  bool seen = false;
  QColor background, okButton, paletteWindow;
  QWidget* parent = nullptr;
  // Looks at the dialog from inside its own event loop, then cancels it.
  std::function<void(int)> look = [&](int tries) {
    auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      if (tries > 0) QTimer::singleShot(20, [&, tries] { look(tries - 1); });
      return;
    }
    seen = true;
    parent = dialog->parentWidget();
    paletteWindow = dialog->palette().color(QPalette::Window);
    const QImage image = dialog->grab().toImage();
    background = image.pixelColor(3, 3);
    if (auto* box = dialog->findChild<QDialogButtonBox*>()) {
      if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) {
        okButton = ok->grab().toImage().pixelColor(ok->width() / 4, ok->height() / 2);
      }
    }
    dialog->reject();
  };
  QTimer::singleShot(0, [&] { look(100); });
  QTest::mouseClick(swatch, Qt::LeftButton);
  ASSERT_TRUE(seen);
  EXPECT_NE(parent, swatch);
  EXPECT_NE(paletteWindow, red);
  EXPECT_NE(background, red);
  EXPECT_TRUE(okButton.isValid());
  EXPECT_NE(okButton, red);
  // Cancelled: the swatch keeps its colour.
  EXPECT_EQ(ui.GetCtrlInt(panel, p::kMcColor), 0xFF0000);
}

TEST_F(QtLooksTest, ThePortPromptShowsItsWholeText) {
  for (const std::string& id : {std::string("Nerit nine-wavelength meter 301"),
                               std::string("Benth hyperspectral meter 1207, mounted on the profiling frame of "
                                           "the research vessel, with its second temperature probe")}) {
    SCOPED_TRACE(id);
    const int panel = ui.LoadPanel(0, p::kPort);
    ASSERT_EQ(ui.SetCtrlVal(panel, p::kPortPrompt, "Read data for \"" + id + "\" from which source?"), 0);
    auto* prompt = qobject_cast<QLabel*>(ui.Widget(panel, p::kPortPrompt));
    ASSERT_NE(prompt, nullptr);
    const bool fitsOneLine = prompt->fontMetrics().horizontalAdvance(prompt->text()) <= prompt->width();
    EXPECT_TRUE(fitsOneLine || prompt->wordWrap());
    EXPECT_LE(prompt->heightForWidth(prompt->width()), prompt->height());
    // Nothing below the text is covered by it, and everything stays in the window.
    QWidget* content = ui.Window(panel);
    for (const int control : {p::kPortCom1, p::kPortCom1 + 7, p::kPortInfo1, p::kPortInfo1 + 7, p::kPortList,
                              p::kPortMap, p::kPortMapCom, p::kPortRescan, p::kPortFile, p::kPortCancel}) {
      QWidget* button = ui.Widget(panel, control);
      EXPECT_GE(button->y(), prompt->geometry().bottom()) << control;
      EXPECT_LE(button->mapTo(content, QPoint(0, button->height())).y(), content->height()) << control;
    }
    ui.DiscardPanel(panel);
  }
}

TEST_F(QtLooksTest, TickLabelsStayDistinctAtAnyZoom) {
  for (const int control : {p::kMainXYGraph, p::kMainStripChart, p::kMainTempGraph, p::kMainDepthGraph,
                            p::kMainSpectGraph, p::kMainSpect2Graph}) {
    SCOPED_TRACE(control);
    auto* plot = dynamic_cast<PlotWidget*>(ui.Widget(main, control));
    ASSERT_NE(plot, nullptr);
    const bool strip = control == p::kMainStripChart;
    for (const double centre : {1.0, -3.25, 1000.0, 0.0}) {
      for (const double span : {7.0, 1e-3, 1e-6, 1e-9}) {
        ASSERT_EQ(ui.SetAxisRange(main, control, strip ? AxisMode::NoChange : AxisMode::Manual, centre,
                                  centre + span, AxisMode::Manual, centre, centre + span),
                  0);
        plot->ReplotNow();
        for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
          if (strip && axis == plot->xAxis) continue;
          const QVector<QString> labels = axis->tickVectorLabels();
          ASSERT_GE(labels.size(), 2) << centre << " + " << span;
          const QSet<QString> distinct(labels.begin(), labels.end());
          EXPECT_EQ(distinct.size(), labels.size())
              << centre << " + " << span << ": " << labels.join(" ").toStdString();
          // Each label reads back as its tick's value to within a step.
          const QVector<double> ticks = axis->tickVector();
          for (int i = 0; i < labels.size(); ++i) {
            bool read = false;
            const double value = plot->locale().toDouble(labels[i], &read);
            ASSERT_TRUE(read) << labels[i].toStdString();
            EXPECT_NEAR(value, ticks[i], span / 4) << labels[i].toStdString();
          }
        }
      }
    }
  }
}

TEST_F(QtLooksTest, TheBarsOfOneWavelengthStandSideBySide) {
  Session session;
  std::unique_ptr<Display> display;
  ASSERT_EQ(Display::New(display, main, session), status::kOk);
  AttachNine(*display, graph_type::kSpect);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  session.Publish(NineLine(0.3, 0.5, 0));
  GraphWidget* graph = ui.Graph(main, p::kMainSpectGraph);
  graph->ReplotNow();
  // Per wavelength, the pixel interval of each bar.
  std::map<double, std::vector<std::pair<double, QCPBars*>>> bars;
  for (int i = 0; i < graph->plottableCount(); ++i) {
    auto* bar = dynamic_cast<QCPBars*>(graph->plottable(i));
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->data()->size(), 2);
    bars[(bar->data()->constBegin())->key].push_back({bar->dataPixelPosition(1).x(), bar});
  }
  ASSERT_EQ(bars.size(), 9u);
  for (const auto& [nm, pair] : bars) {
    SCOPED_TRACE(nm);
    ASSERT_EQ(pair.size(), 2u);
    const double width = pair[0].second->width();
    // Apart by a whole bar: neither covers the other.
    EXPECT_GE(std::fabs(pair[0].first - pair[1].first), width);
    // Both about their wavelength.
    const double centre = graph->xAxis->coordToPixel(nm);
    EXPECT_LE(std::fabs((pair[0].first + pair[1].first) / 2 - centre), width);
    // One colour, two looks: the absorption bar hollow, the other solid.
    EXPECT_EQ(pair[0].second->brush().color().rgb(), pair[1].second->brush().color().rgb());
    EXPECT_NE(pair[0].second->brush().color().alpha(), pair[1].second->brush().color().alpha());
  }
}

TEST_F(QtLooksTest, AnExportedPictureCarriesTitleLegendAndUnits) {
  Session session;
  std::unique_ptr<Display> display;
  ASSERT_EQ(Display::New(display, main, session), status::kOk);
  AttachNine(*display, graph_type::kXY);
  for (int i = 4; i < 18; ++i) display->SetVisible(i, false);
  ASSERT_EQ(display->InitPlot(), status::kOk);
  for (int i = 0; i < 30; ++i) session.Publish(NineLine(0.1 + 0.01 * i, 0.3, 10000 * i));
  const GraphPicture picture = display->Picture();
  ASSERT_EQ(picture.legend.size(), 4u);
  GraphWidget* graph = ui.Graph(main, p::kMainXYGraph);
  const QString caption = graph->xAxis->label();

  const std::string png = dir.File("xy.png");
  ASSERT_EQ(ui.ExportGraphImage(main, p::kMainXYGraph, png, picture), 0);
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(image.width(), graph->width());
  EXPECT_GT(image.height(), graph->height());
  // Something dark (the title's text) above the graph.
  const int top = image.height() - graph->height();
  int dark = 0;
  for (int y = 0; y < top; ++y) {
    for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
  }
  EXPECT_GT(dark, 50);
  // Every legend colour right of the graph.
  for (const GraphLegendEntry& entry : picture.legend) {
    int found = 0;
    for (int y = top; y < image.height(); ++y) {
      for (int x = graph->width(); x < image.width(); ++x) {
        found += (image.pixel(x, y) & 0xFFFFFF) == static_cast<QRgb>(entry.color) ? 1 : 0;
      }
    }
    EXPECT_GT(found, 20) << entry.name;
  }
  // The graph on screen keeps its own caption.
  EXPECT_EQ(graph->xAxis->label(), caption);

  const std::string pdf = dir.File("xy.pdf");
  ASSERT_EQ(ui.ExportGraphImage(main, p::kMainXYGraph, pdf, picture), 0);
  std::ifstream in(pdf, std::ios::binary);
  std::string head(5, '\0');
  in.read(head.data(), 5);
  EXPECT_EQ(head, "%PDF-");
  EXPECT_EQ(ui.ExportGraphImage(main, p::kMainXYGraph, dir.File("no/such/dir/x.png"), picture),
            ui_status::kFileError);
}

}  // namespace
}  // namespace sondrix::platform::qt
