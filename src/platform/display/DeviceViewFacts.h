#pragma once
// What the device screen reads from a view: for the JSON tree and for finding
// a view by its label or identifier.
//
// Facts come from describers, run in the order they were added, each filling
// what it knows about the view (a later one may overwrite an earlier one). The
// built-in describers read the views: texts, control states, cells, segments,
// text inputs, the first responder, scroll offsets, and the attributes kept
// below. Another view kind the screen should show adds a describer at start-up
// (DeviceViewFacts::addDescriber).
//
// Main thread only (describers read views).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGGeometry.h"

class UIView;

struct DeviceViewFacts {
    std::string className;
    std::string identifier;   // the accessibility identifier; empty without one
    std::string label;        // the text the view shows (a label's text, a button's title)
    std::string detail;       // a second text (a cell's detail text, a tab's badge)
    std::string imageSource;  // where the shown image came from (a resource name, a URL); empty without one
    std::string url;          // the page a web view shows (or loads); empty without one
    std::string title;        // the title of a web view's document; empty without one
    std::optional<bool> selected, enabled, highlighted, checkmark, firstResponder;
    std::optional<bool> accessibilityElement;  // set (true) only for a view marked as an accessibility element
    std::optional<CGPoint> contentOffset;

    using Describer = std::function<void(const UIView& view, DeviceViewFacts& facts)>;
    // Adds a describer for every view from now on (main thread, at start-up).
    static void addDescriber(Describer describer);
    // The facts of one view, through every describer.
    static DeviceViewFacts of(const UIView& view);
};

// Attributes the screen reads from a view that today's views do not carry as
// properties of their own, kept on the view as associated objects. A framework
// whose views gain the property replaces these with a describer.
namespace display {
void setAccessibilityIdentifier(UIView& view, std::string identifier);
void setBackgroundColor(UIView& view, CGColorRef color);
void setLabelText(UIView& view, std::string text);
void setImageSource(UIView& view, std::string source);
}  // namespace display
