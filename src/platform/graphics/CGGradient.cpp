#include "platform/graphics/CGGradient.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSLog.h"

CGGradient::CGGradient(std::vector<Stop> stops) : stops_(std::move(stops)) {
    for (Stop& s : stops_) s.location = std::clamp(s.location, 0.0, 1.0);
    std::stable_sort(stops_.begin(), stops_.end(), [](const Stop& a, const Stop& b) { return a.location < b.location; });
}

std::string CGGradient::description() const { return format("<CGGradient %zu stops>", stops_.size()); }

namespace {

// Fills the locations in (evenly spread when none are given); false when they do not fit.
bool placeStops(std::vector<CGGradient::Stop>& stops, const std::vector<double>& locations) {
    if (!locations.empty() && locations.size() != stops.size()) return false;
    for (std::size_t i = 0; i < stops.size(); ++i) {
        double location = locations.empty() ? (stops.size() == 1 ? 0.0 : double(i) / double(stops.size() - 1))
                                            : locations[i];
        if (!std::isfinite(location)) return false;
        stops[i].location = location;
    }
    return true;
}

}  // namespace

CGGradientRef CGGradientCreateWithColorComponents(const CGColorSpaceRef& space, const std::vector<double>& components,
                                                  const std::vector<double>& locations) {
    std::size_t per = space ? space->numberOfComponents() + 1 : 0;
    if (!space || components.empty() || components.size() % per != 0) {
        NSLog("CGGradientCreateWithColorComponents: %zu components do not make colours of the space; no gradient",
              components.size());
        return nullptr;
    }
    std::vector<CGGradient::Stop> stops(components.size() / per);
    for (std::size_t i = 0; i < stops.size(); ++i) {
        const double* c = &components[i * per];
        for (std::size_t k = 0; k < per; ++k) {
            if (!std::isfinite(c[k])) {
                NSLog("CGGradientCreateWithColorComponents: non-finite component; no gradient");
                return nullptr;
            }
        }
        double* rgba = stops[i].rgba;
        if (per == 4) rgba[0] = c[0], rgba[1] = c[1], rgba[2] = c[2], rgba[3] = c[3];
        else rgba[0] = rgba[1] = rgba[2] = c[0], rgba[3] = c[1];
        for (int k = 0; k < 4; ++k) rgba[k] = std::clamp(rgba[k], 0.0, 1.0);
    }
    if (!placeStops(stops, locations)) {
        NSLog("CGGradientCreateWithColorComponents: %zu locations for %zu colours; no gradient", locations.size(),
              stops.size());
        return nullptr;
    }
    return std::make_shared<CGGradient>(std::move(stops));
}

CGGradientRef CGGradientCreateWithColors(const CGColorSpaceRef&, const std::vector<CGColorRef>& colors,
                                         const std::vector<double>& locations) {
    std::vector<CGGradient::Stop> stops(colors.size());
    for (std::size_t i = 0; i < colors.size(); ++i) {
        if (!colors[i]) {
            NSLog("CGGradientCreateWithColors: null colour; no gradient");
            return nullptr;
        }
        double* rgba = stops[i].rgba;
        colors[i]->getRGBA(rgba[0], rgba[1], rgba[2], rgba[3]);
    }
    if (stops.empty() || !placeStops(stops, locations)) {
        NSLog("CGGradientCreateWithColors: %zu colours and %zu locations; no gradient", colors.size(), locations.size());
        return nullptr;
    }
    return std::make_shared<CGGradient>(std::move(stops));
}
