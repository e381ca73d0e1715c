#pragma once
// The screen as JSON, and views found by their label or identifier.
//
// The tree lists the key window's shown views depth first (hidden ones and their
// subtrees left out), each with "class", "frame" ([x, y, width, height] in window
// points) and, when it has them, "id", "label", "detail", "image", the states
// ("selected", "enabled", "highlighted", "checkmark", "firstResponder"),
// "accessibilityElement" (true for a view marked as one), "contentOffset"
// ([x, y]), "url" (a web view's page), "title" (its document's title), and "children". What
// is drawn over the window follows it, back to front: the keyboard (class
// "UIKeyboard", id "keyboard", its keys as children of class
// "UIKeyboardKey"), the front action sheet (class "UIActionSheet", its title
// as label, its buttons as children of class "UIActionSheetButton"), the
// front alert (class "UIAlertView", its title as
// label and message as detail, its buttons as children of class
// "UIAlertButton"). Buttons carry their "index", and "cancel" or "destructive"
// when they are.
//
// Finding by label looks at the front alert's buttons first, then the front
// sheet's, then the window's views (which an alert or sheet covers); the
// keyboard answers to its id.
//
// Main thread only.
#include <cstddef>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/graphics/CGGeometry.h"

// Which view: by the text it shows, or by its accessibility identifier; the
// index picks one of several matches (in tree order).
struct DeviceTargetQuery {
    std::string label;
    std::string identifier;
    std::optional<std::size_t> index;
    bool byIdentifier() const { return !identifier.empty(); }
    std::string description() const;
};

enum class DeviceTargetStatus {
    Found,      // point is where a tap reaches it
    NotFound,   // no shown view matches
    Ambiguous,  // several match and no index chose one
    Covered,    // the match is hidden behind something else (or off screen)
};

struct DeviceTarget {
    DeviceTargetStatus status = DeviceTargetStatus::NotFound;
    CGPoint point{};     // the centre of its visible part, in window points
    CGRect frame{};      // its frame in window points
    std::size_t matches = 0;
    std::string message;  // why it is not Found
};

class DeviceTree {
public:
    // The whole screen: {"screen": ..., "views": [window, alert...]}. The
    // "screen" part comes from the caller.
    static nlohmann::json describe();
    // Finds the view and where a tap would reach it (through hit testing at the
    // centre of its visible part).
    static DeviceTarget locate(const DeviceTargetQuery& query);
    // Whether a shown view matches (for waits).
    static std::size_t countMatches(const DeviceTargetQuery& query);
};
