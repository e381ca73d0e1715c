#pragma once
// The bar at the top of a navigation controller's view, 44 points high, over
// the top of the content (the content extends under it).
//
// Background, drawn: the background image set for the bar's metrics
// (UIBarMetricsCompact on a phone in landscape, else UIBarMetricsDefault; the
// default metrics' image when the compact one has none), stretched to the
// bounds; without an image the bar tint, else the platform's near-white, with
// a hairline along the bottom edge.
//
// Content: the top controller's title, centred, in the title text attributes
// (bold 17-point black by default), and, when a controller lies below the top
// one, a back button at the left titled with that controller's title ("Back"
// when it has none), in the tint colour; tapping it runs the back action (the
// navigation controller pops, animated). The navigation controller keeps the
// titles current. Both are subviews: the title a UILabel with the identifier
// "UINavigationBarTitle", the button a UIButton with "UINavigationBarBackButton".
//
// Main thread only.
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIView.h"

enum UIBarMetrics : long {
    UIBarMetricsDefault = 0,
    UIBarMetricsCompact = 1,
    UIBarMetricsDefaultPrompt = 101,
    UIBarMetricsCompactPrompt = 102,
};

class UINavigationBar : public UIView {
public:
    static constexpr CGFloat kHeight = 44;
    explicit UINavigationBar(CGRect frame = CGRectMake(0, 0, 320, kHeight));

    // The image for the metrics; null when none was set for them.
    UIImagePtr backgroundImageForBarMetrics(UIBarMetrics metrics) const;
    void setBackgroundImage(UIImagePtr image, UIBarMetrics metrics);
    // The metrics the bar draws with now.
    static UIBarMetrics currentBarMetrics();

    // Null: the platform's near-white.
    const CGColorRef& barTintColor() const { return barTintColor_; }
    void setBarTintColor(CGColorRef color);
    const NSAttributes& titleTextAttributes() const { return titleAttributes_; }
    void setTitleTextAttributes(NSAttributes attributes);

    // What the bar shows: the top item's title and, when there is an item below
    // it, the back item's title.
    const std::string& topItemTitle() const { return topTitle_; }
    const std::optional<std::string>& backItemTitle() const { return backTitle_; }
    void setItemTitles(std::string topTitle, std::optional<std::string> backTitle);
    void setBackAction(std::function<void()> action) { backAction_ = std::move(action); }

    // The parts (made on first use).
    std::shared_ptr<UILabel> titleLabel();
    std::shared_ptr<UIButton> backButton();

    void drawRect(CGRect rect) override;
    void layoutSubviews() override;
    void tintColorDidChange() override;

private:
    void makeParts();
    void applyTitleAttributes();
    std::map<UIBarMetrics, UIImagePtr> backgroundImages_;
    CGColorRef barTintColor_;
    NSAttributes titleAttributes_;
    std::string topTitle_;
    std::optional<std::string> backTitle_;
    std::function<void()> backAction_;
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UIButton> backButton_;
};
