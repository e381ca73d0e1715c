#include "platform/uikit/UIFont.h"

#include <cmath>

#include "platform/foundation/NSLog.h"

namespace {
CGFloat validSize(CGFloat size) { return std::isfinite(size) && size > 0 ? size : 12; }
}  // namespace

UIFont::UIFont(bool bold, CGFloat pointSize) : font_{bold, validSize(pointSize)} {}

UIFontPtr UIFont::systemFontOfSize(CGFloat fontSize) { return std::make_shared<UIFont>(false, fontSize); }

UIFontPtr UIFont::boldSystemFontOfSize(CGFloat fontSize) { return std::make_shared<UIFont>(true, fontSize); }

UIFontPtr UIFont::fontWithName(const std::string& fontName, CGFloat fontSize) {
    if (fontName.empty()) return nullptr;
    return std::make_shared<UIFont>(fontName.find("Bold") != std::string::npos, fontSize);
}

UIFontPtr UIFont::preferredFontForTextStyle(const std::string& style) {
    if (style == UIFontTextStyleHeadline) return boldSystemFontOfSize(17);
    if (style == UIFontTextStyleSubheadline) return systemFontOfSize(15);
    if (style == UIFontTextStyleFootnote) return systemFontOfSize(13);
    if (style == UIFontTextStyleCaption1) return systemFontOfSize(12);
    if (style == UIFontTextStyleCaption2) return systemFontOfSize(11);
    if (style != UIFontTextStyleBody) NSLog("UIFont: unknown text style \"%s\"; the body font is used", style);
    return systemFontOfSize(17);
}

UIFontPtr UIFont::fontWithSize(CGFloat fontSize) const { return std::make_shared<UIFont>(font_.bold, fontSize); }

std::string UIFont::fontName() const { return font_.bold ? "DejaVuSans-Bold" : "DejaVuSans"; }
std::string UIFont::familyName() const { return TextFontFamilyName(); }

const TextFontMetrics& UIFont::metrics() const {
    std::lock_guard lock(metricsMutex_);
    if (!metrics_) metrics_ = std::make_shared<const TextFontMetrics>(TextLayoutFontMetrics(font_));
    return *metrics_;
}

CGFloat UIFont::ascender() const { return metrics().ascender; }
CGFloat UIFont::descender() const { return metrics().descender; }
CGFloat UIFont::lineHeight() const { return metrics().lineHeight; }
CGFloat UIFont::capHeight() const { return metrics().capHeight; }
CGFloat UIFont::xHeight() const { return metrics().xHeight; }

std::string UIFont::description() const {
    return format("<UIFont: font-family: \"%s\"; font-weight: %s; font-size: %gpt>", familyName(),
                  font_.bold ? "bold" : "normal", font_.size);
}
