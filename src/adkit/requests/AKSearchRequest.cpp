#include "adkit/requests/AKSearchRequest.h"

#include <array>
#include <cstdio>
#include <vector>

#include "platform/graphics/CGColor.h"

namespace {

// A component in 0...255, toward zero; out-of-range and NaN components clamp first.
unsigned byteOf(double component) { return static_cast<unsigned>(CGColorClampComponent(component) * 255.0); }

std::string tableEntry(std::uint64_t value, const std::vector<const char*>& names) {
    return value < names.size() ? names[value] : "";
}

}  // namespace

std::shared_ptr<AKSearchRequest> AKSearchRequest::create() {
    return std::shared_ptr<AKSearchRequestPrivate>(new AKSearchRequestPrivate());
}

void AKSearchRequest::setBackgroundSolid(const UIColorPtr&) {}
void AKSearchRequest::setBackgroundGradientFrom(const UIColorPtr&, const UIColorPtr&) {}

void AKSearchRequestPrivate::setBackgroundSolid(const UIColorPtr& color) {
    backgroundColor = color;
    gradientFrom = nullptr;
    gradientTo = nullptr;
}

void AKSearchRequestPrivate::setBackgroundGradientFrom(const UIColorPtr& from, const UIColorPtr& toColor) {
    if (!from || !toColor) return;
    backgroundColor = nullptr;
    gradientFrom = from;
    gradientTo = toColor;
}

std::optional<std::string> AKSearchRequest::hexStringFromColor(const UIColorPtr& color) {
    if (!color || !color->CGColor()) return std::nullopt;
    const std::vector<double>& c = CGColorGetComponents(color->CGColor());
    std::array<double, 3> rgb{};
    switch (CGColorSpaceGetModel(CGColorGetColorSpace(color->CGColor()))) {
    case kCGColorSpaceModelMonochrome: rgb = {c[0], c[0], c[0]}; break;
    case kCGColorSpaceModelRGB: rgb = {c[0], c[1], c[2]}; break;
    default: return std::nullopt;
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", byteOf(rgb[0]), byteOf(rgb[1]), byteOf(rgb[2]));
    return std::string(text);
}

std::string AKSearchRequest::getBorderTypeString(std::uint64_t type) {
    return tableEntry(type, {"none", "dashed", "dotted", "solid"});
}

std::string AKSearchRequest::getCallButtonTypeString(std::uint64_t type) {
    return tableEntry(type, {"light", "medium", "dark"});
}

Value AKSearchRequest::parameters() const {
    Value parameters = Value::dictionary();
    auto text = [&](const char* key, const std::optional<std::string>& value) {
        if (value) parameters.setObject(key, *value);
    };
    auto colour = [&](const char* key, const UIColorPtr& value) { text(key, hexStringFromColor(value)); };
    auto named = [&](const char* key, const std::string& name) {
        if (!name.empty()) parameters.setObject(key, name);
    };
    text("q", query);
    colour("bgcolor", backgroundColor);
    colour("gradientfrom", gradientFrom);
    colour("gradientto", gradientTo);
    colour("hcolor", headerColor);
    colour("dcolor", descriptionTextColor);
    colour("acolor", anchorTextColor);
    text("font", fontFamily);
    parameters.setObject("headersize", std::to_string(headerTextSize));
    colour("bcolor", borderColor);
    named("btype", getBorderTypeString(borderType));
    parameters.setObject("bthick", std::to_string(borderThickness));
    text("channel", customChannels);
    named("callbuttoncolor", getCallButtonTypeString(callButtonColor));
    return parameters;
}

std::shared_ptr<AKRequest> AKSearchRequest::request() const {
    auto request = AKRequest::request();
    request->setAdditionalParameters(parameters());
    return request;
}
