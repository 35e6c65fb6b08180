// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/uir.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "common/panels.h"
#include "support/fixtures.h"
#include "build_paths.h"

namespace sondrix::platform {
namespace {

std::string ParseError(std::string_view text) {
  std::string error;
  EXPECT_FALSE(ParseUir(text, error, "t.uir").has_value()) << text;
  return error;
}

UirFile Parse(std::string_view text) {
  std::string error;
  std::optional<UirFile> file = ParseUir(text, error, "t.uir");
  EXPECT_TRUE(file.has_value()) << error;
  return file.value_or(UirFile{});
}

TEST(UirTest, ParsesPanelsControlsAndAttributes) {
  UirFile file = Parse(
      "# a comment\r\n"
      "panel 7 Setup title=\"Set \\\"up\\\"\" width=300 height=200 top=5\r\n"
      "  control 2 Name string label=\"Name\" maxlength=63 value=\"abc # not a comment\"\n"
      "  control 3 Rate double value=2.5 min=0 max=10 precision=2 \\\n"
      "          mode=indicator   # continued\n"
      "  control 4 Kind ring items=\"XY|Strip=5|Spectrum\"\n"
      "  control 5 Colour color value=0xFF0000 dimmed=1 visible=0 default=1\n"
      "end\n");
  ASSERT_EQ(file.panels.size(), 1u);
  const PanelSpec& panel = file.panels[0];
  EXPECT_EQ(panel.id, 7);
  EXPECT_EQ(panel.title, "Set \"up\"");
  EXPECT_EQ(panel.top, 5);
  ASSERT_EQ(panel.controls.size(), 4u);

  const ControlSpec* name = panel.FindControl("Name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->type, CtrlType::String);
  EXPECT_EQ(std::get<std::string>(name->value), "abc # not a comment");
  EXPECT_EQ(name->maxLength, 63);

  const ControlSpec* rate = panel.FindControl(3);
  ASSERT_NE(rate, nullptr);
  EXPECT_EQ(std::get<double>(rate->value), 2.5);
  EXPECT_EQ(rate->max, 10.0);
  EXPECT_EQ(rate->mode, CtrlMode::Indicator);

  const ControlSpec* kind = panel.FindControl(4);
  ASSERT_EQ(kind->items.size(), 3u);
  EXPECT_EQ(kind->items[1].label, "Strip");
  EXPECT_EQ(kind->items[1].value, 5);
  EXPECT_EQ(kind->items[2].value, 2);

  const ControlSpec* colour = panel.FindControl(5);
  EXPECT_EQ(std::get<int>(colour->value), 0xFF0000);
  EXPECT_TRUE(colour->dimmed);
  EXPECT_FALSE(colour->visible);
  EXPECT_TRUE(colour->isDefault);
  EXPECT_EQ(colour->attributes.at("value"), "0xFF0000");
}

TEST(UirTest, ParsesMenuBarsWithSubmenus) {
  UirFile file = Parse(
      "menubar 100 MainMenu\n"
      "  menu 1 File label=\"File\"\n"
      "    item 2 Open label=\"Open...\" shortcut=\"Ctrl+O\"\n"
      "    separator\n"
      "    menu 3 Recent label=\"Recent\"\n"
      "      item 4 First label=\"1\" checked=1\n"
      "    end\n"
      "  end\n"
      "end\n"
      "panel 1 Main width=10 height=10 menubar=100\n"
      "end\n");
  const MenuBarSpec* bar = file.FindMenuBar(100);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(bar->menus.size(), 1u);
  ASSERT_EQ(bar->menus[0].entries.size(), 3u);
  EXPECT_EQ(bar->menus[0].entries[1].kind, MenuEntrySpec::Kind::Separator);
  const MenuEntrySpec* first = bar->FindEntry(4);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->checked);
  EXPECT_EQ(bar->FindEntry(2)->shortcut, "Ctrl+O");
  EXPECT_EQ(file.FindPanel(1)->menuBar, 100);
}

TEST(UirTest, MalformedFilesGiveTheLineAndTheFault) {
  EXPECT_EQ(ParseError("panel 1 A width=1 height=1\nbogus 3\nend\n"),
            "t.uir:2: unknown keyword 'bogus'");
  EXPECT_EQ(ParseError("control 2 X button\n"), "t.uir:1: 'control' outside a panel");
  EXPECT_EQ(ParseError("panel 1 A\n control 2 X button\n"),
            "t.uir:2: missing 'end' at the end of the file");
  EXPECT_EQ(ParseError("panel 1 A\n control 2 X button colour=3\nend\n"),
            "t.uir:2: unknown attribute 'colour'");
  EXPECT_EQ(ParseError("panel 1 A\n control 2 X button\n control 2 Y button\nend\n"),
            "t.uir:3: control id 2 used twice in panel A");
  EXPECT_EQ(ParseError("panel 1 A\nend\npanel 1 B\nend\n"), "t.uir:3: panel id 1 used twice");
  EXPECT_EQ(ParseError("panel 1 A\n control 2 X int value=1.5\nend\n"),
            "t.uir:2: 'value' needs an integer, not '1.5'");
  EXPECT_EQ(ParseError("panel 1 A\n control 2 X dial\nend\n"),
            "t.uir:2: unknown control type 'dial'");
  EXPECT_EQ(ParseError("panel 1 A title=\"open\nend\n"),
            "t.uir:1: unterminated text for 'title'");
  EXPECT_EQ(ParseError("panel 1 A\n control 2 X button items=\"a|b\"\nend\n"),
            "t.uir:2: items are only for listbox, checklist and ring controls");
  EXPECT_EQ(ParseError("panel 1 A\n control 2 X int value=20 min=1 max=10\nend\n"),
            "t.uir:2: default value outside min ... max");
  EXPECT_EQ(ParseError("panel 0 A\nend\n"), "t.uir:1: bad panel id '0' (a positive integer)");
  EXPECT_EQ(ParseError("panel 1 A width=10 width=20\nend\n"),
            "t.uir:1: attribute 'width' given twice");
  EXPECT_EQ(ParseError("panel 1 A menubar=5\nend\n"),
            "t.uir:1: panel A names menu bar 5, which is not defined");
  EXPECT_EQ(ParseError("panel 1 A\n control 2 X button \\\n"),
            "t.uir:2: '\\' at the end of the file");
  EXPECT_EQ(ParseError("end\n"), "t.uir:1: 'end' without an open panel or menu");

  std::string error;
  EXPECT_FALSE(LoadUir("/nonexistent/sondrix.uir", error).has_value());
  EXPECT_NE(error.find("/nonexistent/sondrix.uir"), std::string::npos);
}

TEST(UirTest, UirPathCanBeOverridden) {
  test::ScopedEnv env("SONDRIX_UIR", "/somewhere/else.uir");
  EXPECT_EQ(UirPath(), "/somewhere/else.uir");
  SetUirPath("/explicit.uir");
  EXPECT_EQ(UirPath(), "/explicit.uir");
  SetUirPath("");
  EXPECT_EQ(UirPath(), "/somewhere/else.uir");
}

// --- The program's resource file against common/panels.h, as the build wrote it --

// The kinds of control each named id must be.
const std::map<std::string, std::set<CtrlType>>& ExpectedTypes() {
  const std::set<CtrlType> text = {CtrlType::TextMsg, CtrlType::TextBox, CtrlType::String};
  const std::set<CtrlType> button = {CtrlType::Button};
  const std::set<CtrlType> check = {CtrlType::CheckBox, CtrlType::Toggle};
  const std::set<CtrlType> graph = {CtrlType::Graph};
  const std::set<CtrlType> number = {CtrlType::Double};
  static const std::map<std::string, std::set<CtrlType>> types = {
      {"MainStartStop", button},
      {"MainFocus", {CtrlType::Decoration}},
      {"MainAllTraces", button},
      {"MainZoomIn", button},
      {"MainZoomOut", button},
      {"MainMove1", button},
      {"MainMove2", button},
      {"MainXYGraph", graph},
      {"MainStripChart", {CtrlType::StripChart}},
      {"MainTempGraph", graph},
      {"MainDiagnostics", text},
      {"MainAutoStart", button},
      {"MainStop", button},
      {"MainDepthGraph", graph},
      {"MainSpectGraph", graph},
      {"MainSpect2Graph", graph},
      {"MainLost", text},
      {"MainRate", text},
      {"MainRateUnit", text},
      {"MainBinsize1", text},
      {"MainBinsize2", text},
      {"MainTemp", text},
      {"MainTempCaption", text},
      {"MainExtTemp", text},
      {"MainExtTempCaption", text},
      {"MainDepth", text},
      {"MainDepthCaption", text},
      {"MainStatus", text},
      {"MainTitle", text},
      {"MainDate", text},
      {"MainTime", text},
      {"MainElapsed", text},
      {"MainFollow", button},
      {"MainTracePrev", button},
      {"MainTracePage", text},
      {"MainLineAway", text},
      {"MainPosition", text},
      {"MainShipData", text},
      {"MainNetwork", text},
      {"MainHealth1", text},
      {"MainPaneKind1", {CtrlType::Ring}},
      {"MainTraceNext", button},
      {"GsXMin", number},
      {"GsXMax", number},
      {"GsXAuto", check},
      {"GsYMin", number},
      {"GsYMax", number},
      {"GsYAuto", check},
      {"GsXDivisions", {CtrlType::Int}},
      {"GsXAutoDivisions", check},
      {"GsYDivisions", {CtrlType::Int}},
      {"GsYAutoDivisions", check},
      {"GsOk", button},
      {"GsCancel", button},
      {"GsFollowAxis", check},
      {"GsFollowMinutes", number},
      {"GsWholeRun", check},
      {"GsFollowValues", check},
      {"SsYMin", number},
      {"SsYMax", number},
      {"SsScrollSpeed", {CtrlType::Int}},
      {"SsOk", button},
      {"SsCancel", button},
      {"SsFollowAxis", check},
      {"SsFollowMinutes", number},
      {"SsWholeRun", check},
      {"SsFollowValues", check},
      {"BusyText", text},
      {"ErrorText", text},
      {"ErrorOk", button},
      {"PortPrompt", text},
      {"PortCancel", button},
      {"PortFile", button},
      {"PortList", {CtrlType::ListBox}},
      {"PortMap", button},
      {"PortMapCom", {CtrlType::Ring}},
      {"PortRescan", button},
      {"McName", {CtrlType::String}},
      {"McBaud", {CtrlType::Int}},
      {"McPathLength", {CtrlType::Double}},
      {"McDepthOffset", {CtrlType::Double}},
      {"McDepthScale", {CtrlType::Double}},
      {"McDevType", {CtrlType::Int}},
      {"McSerial", {CtrlType::Int}},
      {"McTraceList", {CtrlType::ListBox, CtrlType::CheckList}},
      {"McTraceName", {CtrlType::String}},
      {"McOffset", {CtrlType::Double}},
      {"McColor", {CtrlType::Color, CtrlType::Int}},
      {"McRefTemp", {CtrlType::Double}},
      {"McTempSlope", {CtrlType::Double}},
      {"McPreview", {CtrlType::StripChart}},
      {"McZero", button},
      {"McZeroA", check},
      {"McZeroC", check},
      {"McCalibrate", button},
      {"McCalSamples", {CtrlType::Int}},
      {"McCalA", check},
      {"McCalC", check},
      {"McDepthCal", button},
      {"McOk", button},
      {"McCancel", button},
      {"BcName", {CtrlType::String}},
      {"BcBaud", {CtrlType::Int}},
      {"BcPathLength", {CtrlType::Double}},
      {"BcDepthOffset", {CtrlType::Double}},
      {"BcDepthScale", {CtrlType::Double}},
      {"BcDevType", {CtrlType::Int}},
      {"BcSerial", {CtrlType::Int}},
      {"BcTraceList", {CtrlType::CheckList}},
      {"BcTraceName", {CtrlType::String}},
      {"BcCOffset", {CtrlType::Double}},
      {"BcColor", {CtrlType::Color, CtrlType::Int}},
      {"BcAOffset", {CtrlType::Double}},
      {"BcPreview", {CtrlType::StripChart}},
      {"BcZero", button},
      {"BcZeroA", check},
      {"BcZeroC", check},
      {"BcCalibrate", button},
      {"BcCalSamples", {CtrlType::Int}},
      {"BcCalA", check},
      {"BcCalC", check},
      {"BcDepthCal", button},
      {"BcOk", button},
      {"BcCancel", button},
      {"BcOutput", {CtrlType::Ring}},
      {"BcSetHardware", button},
      {"BcSkip", {CtrlType::Int}},
      {"NdCalGraph", graph},
      {"NdCountsGraph", graph},
      {"NdNoiseGraph", graph},
      {"NdKeyGraph", graph},
      {"NdTempMean", number},
      {"NdTempSdev", number},
      {"NdDepthMean", number},
      {"NdStop", button},
      {"NdDepthSdev", number},
      {"NdSamples", {CtrlType::Int}},
      {"NdKeyA", text},
      {"NdKeyC", text},
      {"NdKeyRef", text},
      {"NdKeyLimit", text},
      {"BdCalGraph", graph},
      {"BdCountsGraph", graph},
      {"BdNoiseGraph", graph},
      {"BdKeyGraph", graph},
      {"BdNonconformGraph", graph},
      {"BdTempMean", number},
      {"BdTempSdev", number},
      {"BdDepthMean", number},
      {"BdStop", button},
      {"BdDepthSdev", number},
      {"BdSamples", {CtrlType::Int}},
      {"BdKeyA", text},
      {"BdKeyC", text},
      {"BdKeyRef", text},
      {"BdKeyLimit", text},
      {"AcqTraces", {CtrlType::CheckList}},
      {"AcqAll", button},
      {"AcqNone", button},
      {"AcqBinsize", {CtrlType::Int}},
      {"AcqDisplayBinsize", {CtrlType::Int}},
      {"AcqOk", button},
      {"AcqCancel", button},
      {"AcqAOnly", button},
      {"AcqCOnly", button},
      {"AcqFrom", {CtrlType::Double}},
      {"AcqTo", {CtrlType::Double}},
      {"AcqStep", {CtrlType::Int}},
      {"AcqSelect", button},
      {"WaitText", text},
      {"WaitProgress", {CtrlType::Progress}},
      {"WaitCancel", button},
      {"MainProgress", {CtrlType::Progress}},
      {"DepCruise", {CtrlType::String}},
      {"DepStation", {CtrlType::String}},
      {"DepCast", {CtrlType::String}},
      {"DepInvestigators", {CtrlType::String}},
      {"DepAffiliation", {CtrlType::String}},
      {"DepContact", {CtrlType::String}},
      {"DepExperiment", {CtrlType::String}},
      {"DepNote", {CtrlType::String}},
      {"DepOk", button},
      {"DepCancel", button},
      {"DepHint", text},
      {"DepLatitude", {CtrlType::String}},
      {"DepLongitude", {CtrlType::String}},
      {"DepDataType", {CtrlType::Ring}},
      {"DepDataStatus", {CtrlType::Ring}},
      {"PosSource", {CtrlType::String}},
      {"PosBaud", {CtrlType::Int}},
      {"PosHint", text},
      {"PosOk", button},
      {"PosCancel", button},
      {"ShipHint", text},
      {"ShipSource1", {CtrlType::String}},
      {"ShipId1", {CtrlType::String}},
      {"ShipFields1", {CtrlType::String}},
      {"ShipBaud1", {CtrlType::Int}},
      {"ShipValve", {CtrlType::String}},
      {"ShipNote", text},
      {"ShipOk", button},
      {"ShipCancel", button},
      {"NetHint", text},
      {"NetDestination", {CtrlType::String}},
      {"NetId", {CtrlType::String}},
      {"NetEvery", {CtrlType::Int}},
      {"NetNmea", check},
      {"NetOk", button},
      {"NetCancel", button},
      {"ProfHint", text},
      {"ProfBinSize", {CtrlType::String}},
      {"ProfSmooth", {CtrlType::String}},
      {"ProfSurface", {CtrlType::String}},
      {"ProfLagDepth", {CtrlType::String}},
      {"ProfMinCount", {CtrlType::String}},
      {"ProfStatistic", {CtrlType::Ring}},
      {"ProfCast", {CtrlType::Ring}},
      {"ProfOk", button},
      {"ProfCancel", button},
      {"ProcHint", text},
      {"ProcScatter", {CtrlType::Ring}},
      {"ProcRefWavelength", {CtrlType::String}},
      {"ProcTemperature", {CtrlType::String}},
      {"ProcSalinity", {CtrlType::String}},
      {"ProcTCal", {CtrlType::String}},
      {"ProcLagC", {CtrlType::String}},
      {"ProcLagAncillary", {CtrlType::String}},
      {"ProcTable", {CtrlType::String}},
      {"ProcFlush", {CtrlType::String}},
      {"ProcUnderway", check},
      {"ProcPoc", {CtrlType::String}},
      {"ProcJumpAlarm", {CtrlType::String}},
      {"ProcBin", {CtrlType::String}},
      {"ProcOk", button},
      {"ProcCancel", button},
      {"EvKind", {CtrlType::Ring}},
      {"EvNote", {CtrlType::String}},
      {"EvTime", text},
      {"EvOk", button},
      {"EvCancel", button},
      {"CapHint", text},
      {"CapStart", {CtrlType::String}},
      {"CapOk", button},
      {"CapCancel", button},
  };
  return types;
}

TEST(UirTest, ResourceFileDefinesEveryIdOfPanelsHeader) {
  std::string error;
  std::optional<UirFile> file = LoadUir(SONDRIX_RESOURCE_DIR "/sondrix.uir", error);
  ASSERT_TRUE(file.has_value()) << error;

  std::optional<std::string> header =
      test::ReadTextFile(SONDRIX_GENERATED_DIR "/common/panels.h");
  ASSERT_TRUE(header.has_value());

  const std::regex constant(R"(inline constexpr int k(\w+) = (\d+);)");
  const PanelSpec* panel = nullptr;
  const MenuBarSpec* bar = nullptr;
  int checked = 0;
  std::set<std::string> seen;
  for (auto it = std::sregex_iterator(header->begin(), header->end(), constant);
       it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[1];
    const int id = std::stoi((*it)[2]);
    seen.insert(name);
    if (const PanelSpec* p = file->FindPanel(name)) {
      EXPECT_EQ(p->id, id) << "panel " << name;
      panel = p;
      bar = nullptr;
      ++checked;
      continue;
    }
    if (const MenuBarSpec* b = file->FindMenuBar(name)) {
      EXPECT_EQ(b->id, id) << "menu bar " << name;
      bar = b;
      ++checked;
      continue;
    }
    if (bar != nullptr) {
      const MenuEntrySpec* entry = bar->FindEntry(name);
      ASSERT_NE(entry, nullptr) << "menu bar " << bar->name << " has no entry " << name;
      EXPECT_EQ(entry->id, id) << name;
      ++checked;
      continue;
    }
    ASSERT_NE(panel, nullptr) << name << " comes before any panel of the resource file";
    // Rows of twenty: the trace labels and their value read-outs.
    if (name == "MainLabel0" || name == "MainValue0") {
      const std::string stem = name.substr(0, name.size() - 1);
      for (int k = 0; k < 20; ++k) {
        const ControlSpec* control = panel->FindControl(stem + std::to_string(k));
        ASSERT_NE(control, nullptr) << stem << k;
        EXPECT_EQ(control->id, id + k);
        EXPECT_EQ(control->type, name == "MainLabel0" ? CtrlType::Toggle : CtrlType::TextMsg);
      }
      ++checked;
      continue;
    }
    if (name == "PortCom1") {
      for (int k = 1; k <= 8; ++k) {
        const ControlSpec* com = panel->FindControl("PortCom" + std::to_string(k));
        ASSERT_NE(com, nullptr) << "PortCom" << k;
        EXPECT_EQ(com->id, id + k - 1);
        EXPECT_EQ(com->type, CtrlType::Button);
        EXPECT_EQ(com->label, "COM" + std::to_string(k));
      }
      ++checked;
      continue;
    }
    if (name == "PortInfo1") {
      for (int k = 1; k <= 8; ++k) {
        const ControlSpec* info = panel->FindControl("PortInfo" + std::to_string(k));
        ASSERT_NE(info, nullptr) << "PortInfo" << k;
        EXPECT_EQ(info->id, id + k - 1);
        EXPECT_EQ(info->type, CtrlType::TextMsg);
      }
      ++checked;
      continue;
    }
    const ControlSpec* control = panel->FindControl(name);
    ASSERT_NE(control, nullptr) << "panel " << panel->name << " has no control " << name;
    EXPECT_EQ(control->id, id) << name;
    auto expected = ExpectedTypes().find(name);
    ASSERT_NE(expected, ExpectedTypes().end()) << "no expected type listed for " << name;
    EXPECT_TRUE(expected->second.contains(control->type))
        << name << " is a " << CtrlTypeName(control->type);
    ++checked;
  }
  EXPECT_GE(checked, 115);
  for (const auto& [name, types] : ExpectedTypes()) {
    EXPECT_TRUE(seen.contains(name)) << name << " is no longer in panels.h";
  }

  // The header's constants are the ones the code compiles with.
  EXPECT_EQ(file->FindPanel(panels::kMeterConfig)->FindControl(panels::kMcOk)->name, "McOk");
  EXPECT_EQ(file->FindPanel(panels::kWait)->FindControl(panels::kWaitText)->name, "WaitText");
  EXPECT_EQ(file->FindPanel(panels::kMain)->menuBar, panels::kMainMenu);
  EXPECT_EQ(file->FindMenuBar(panels::kMainMenu)->FindEntry(panels::kMenuSpect2Graph)->name,
            "MenuSpect2Graph");
}

// The six graphs share one area of the main window, so that whichever is
// shown fills it.
TEST(UirTest, MainPanelGraphsFillTheSameArea) {
  std::string error;
  std::optional<UirFile> file = LoadUir(SONDRIX_RESOURCE_DIR "/sondrix.uir", error);
  ASSERT_TRUE(file.has_value()) << error;
  const PanelSpec* main = file->FindPanel(panels::kMain);
  const ControlSpec* xy = main->FindControl(panels::kMainXYGraph);
  for (int id : {panels::kMainStripChart, panels::kMainTempGraph, panels::kMainDepthGraph,
                 panels::kMainSpectGraph, panels::kMainSpect2Graph}) {
    const ControlSpec* graph = main->FindControl(id);
    EXPECT_EQ(graph->top, xy->top) << graph->name;
    EXPECT_EQ(graph->left, xy->left) << graph->name;
    EXPECT_EQ(graph->width, xy->width) << graph->name;
    EXPECT_EQ(graph->height, xy->height) << graph->name;
  }
  // Every control lies inside the panel.
  for (const ControlSpec& control : main->controls) {
    EXPECT_LE(control.left + control.width, main->width) << control.name;
    EXPECT_LE(control.top + control.height, main->height) << control.name;
  }
}

}  // namespace
}  // namespace sondrix::platform
