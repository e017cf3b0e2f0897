// The loss chart: axes with a few labelled ticks and one polyline per series.

#include "app/lossplot.h"

#include <algorithm>
#include <cstdio>

namespace drnChess {

namespace {

    std::string Number(double v, const char* format = "%.5f")
    {
        char text[32];
        std::snprintf(text, sizeof text, format, v);
        return text;
    }

} // namespace

std::string LossPlotSvg(const std::vector<double>& train, const std::vector<double>& validation)
{
    constexpr double width = 640, height = 400, left = 80, right = 20, top = 30, bottom = 50;
    const std::size_t epochs = std::max(train.size(), validation.size());
    double low = 1e300, high = -1e300;
    for (const auto* series : { &train, &validation })
        for (double v : *series) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    if (epochs == 0) low = 0, high = 1;
    if (high - low < 1e-12) low -= 1e-6, high += 1e-6;
    const double margin = (high - low) * 0.05;
    low -= margin;
    high += margin;
    auto x = [&](std::size_t epoch) {
        return left + (epochs <= 1 ? 0.0 : double(epoch) / double(epochs - 1)) * (width - left - right);
    };
    auto y = [&](double v) { return top + (high - v) / (high - low) * (height - top - bottom); };

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(width, "%.0f")
        + "\" height=\"" + Number(height, "%.0f") + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + Number(width / 2, "%.0f")
        + "\" y=\"18\" text-anchor=\"middle\">loss by epoch</text>\n";
    // Axes and ticks.
    svg += "<path d=\"M" + Number(left, "%.0f") + " " + Number(top, "%.0f") + " V"
        + Number(height - bottom, "%.0f") + " H" + Number(width - right, "%.0f")
        + "\" stroke=\"black\" fill=\"none\"/>\n";
    for (int i = 0; i <= 4; ++i) {
        const double v = low + (high - low) * i / 4;
        svg += "<text x=\"" + Number(left - 6, "%.0f") + "\" y=\"" + Number(y(v) + 4, "%.1f")
            + "\" text-anchor=\"end\">" + Number(v) + "</text>\n";
    }
    for (int i = 0; i <= 4 && epochs > 0; ++i) {
        const std::size_t e = (epochs - 1) * static_cast<std::size_t>(i) / 4;
        svg += "<text x=\"" + Number(x(e), "%.1f") + "\" y=\"" + Number(height - bottom + 18, "%.0f")
            + "\" text-anchor=\"middle\">" + std::to_string(e + 1) + "</text>\n";
    }
    svg += "<text x=\"" + Number(width / 2, "%.0f") + "\" y=\"" + Number(height - 12, "%.0f")
        + "\" text-anchor=\"middle\">epoch</text>\n";
    // Series and legend.
    const struct {
        const std::vector<double>* values;
        const char* colour;
        const char* name;
    } series[] = { { &train, "#1f5fbf", "train" }, { &validation, "#d0601a", "validation" } };
    int row = 0;
    for (const auto& s : series) {
        std::string points;
        for (std::size_t e = 0; e < s.values->size(); ++e)
            points += (e ? " " : "") + Number(x(e), "%.1f") + "," + Number(y((*s.values)[e]), "%.1f");
        svg += "<polyline fill=\"none\" stroke=\"" + std::string(s.colour) + "\" stroke-width=\"2\" points=\""
            + points + "\"/>\n";
        const double ly = top + 10 + 16 * row++;
        svg += "<line x1=\"" + Number(width - 140, "%.0f") + "\" y1=\"" + Number(ly, "%.0f") + "\" x2=\""
            + Number(width - 115, "%.0f") + "\" y2=\"" + Number(ly, "%.0f") + "\" stroke=\"" + s.colour
            + "\" stroke-width=\"2\"/>\n";
        svg += "<text x=\"" + Number(width - 110, "%.0f") + "\" y=\"" + Number(ly + 4, "%.0f") + "\">"
            + s.name + "</text>\n";
    }
    svg += "</svg>\n";
    return svg;
}

} // namespace drnChess
