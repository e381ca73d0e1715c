#pragma once
// What the picker and detail page tests share: a device of either kind, input
// through DeviceInput to views found by their identifier or by a point, waits
// that say what they waited for, and PNG snapshots of the device screen written
// into the build tree (build/screens-snapshots/) with pixel probes.
#include <memory>
#include <optional>
#include <string>

#include "platform/display/DeviceInput.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"

namespace screentest {

// Makes the device a phone (320 x 568) or a tablet (768 x 1024) at scale 2 for
// the test's length, and puts the previous device back afterwards.
class DeviceKind {
public:
    explicit DeviceKind(bool tablet);
    ~DeviceKind();
    DeviceKind(const DeviceKind&) = delete;
    DeviceKind& operator=(const DeviceKind&) = delete;
    bool tablet() const { return tablet_; }
    CGRect bounds() const;

private:
    bool tablet_;
    CGRect savedBounds_;
    CGFloat savedScale_;
    UIUserInterfaceIdiom savedIdiom_;
};

// Runs the main loop until the condition holds; fails the test with `what` after the timeout.
void waitFor(const std::function<bool()>& condition, const std::string& what, double timeoutSeconds = 20);
// Runs the main loop until the windows have no animation left that ends, for a few passes (views settle).
void settle();

// Input as a person gives it: through DeviceInput, waiting until it is carried out.
class Finger {
public:
    DeviceInputResult tap(CGPoint point);
    // The view with the accessibility identifier (the index-th of several), at the
    // centre of its visible part; fails the test when it cannot be reached.
    DeviceInputResult tapId(const std::string& identifier, std::optional<std::size_t> index = std::nullopt);
    // A row of a table in the key window.
    DeviceInputResult tapRow(const UITableView& table, long row);
    // The button of the front alert with the title.
    DeviceInputResult tapAlertButton(const std::string& title);
    DeviceInput& input() { return input_; }

private:
    DeviceInput input_;
};

// Whether a view with the identifier is shown in the key window.
bool isShown(const std::string& identifier);
// Whether a popover's overlay is in the window (a dialog shown by anyone).
bool dialogInWindow(const UIWindow& window);

// The rows of a table that carry the checkmark, in order (visible rows).
std::vector<long> checkedRows(const UITableView& table);
// The visible rows' texts, in order.
std::vector<std::string> rowTexts(const UITableView& table);

// The device screen now (key window, alert, status bar), written as
// build/screens-snapshots/<name>.png and answered decoded for probes.
CGImageRef snapshot(const std::string& name);
// The pixel at a point (screen points; scale 2).
CGPixel probe(const CGImageRef& image, double x, double y);
// Channels within the tolerance of blending.
bool near(CGPixel a, CGPixel b, int tolerance = 3);

}  // namespace screentest
