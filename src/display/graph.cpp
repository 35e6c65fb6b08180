#include "display/graph.h"

namespace sondrix {

int Graph::GetType() { return graph_type::kGraph; }
Status Graph::UserConfigure() { return status::kGraphNoUserConfigure; }
void Graph::ConfigAxes(platform::AxisMode, platform::AxisMode) {}
void Graph::XBounds(double, double) {}
void Graph::XZoom(double) {}
void Graph::XMove(double) {}
Status Graph::SetConfig(int) { return status::kGraphNoSetConfig; }
void Graph::SetDefaults() {}
Status Graph::Hide() { return status::kGraphNoHide; }
Status Graph::Show() { return status::kGraphNoShow; }
Status Graph::ReadConfig(std::FILE*) { return status::kGraphNoReadConfig; }
Status Graph::WriteConfig(std::FILE*) { return status::kGraphNoWriteConfig; }
Status Graph::InitPlot(Display&, int) { return status::kGraphNoInitPlot; }
Status Graph::Plot(Display&, const SourceLine&) { return status::kGraphNoPlot; }
Status Graph::DeletePlots() { return status::kGraphNoDeletePlots; }
int Graph::GetMenu() { return status::kGraphNoGetMenu; }
Graph::~Graph() = default;
void Graph::ClearBin() {}

}  // namespace sondrix
