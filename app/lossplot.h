#pragma once
// An SVG line chart of the training and validation loss by epoch.

#include <string>
#include <vector>

namespace drnChess {

// The chart as SVG text; the two series share the axes (epochs from 1).
std::string LossPlotSvg(const std::vector<double>& train, const std::vector<double>& validation);

} // namespace drnChess
