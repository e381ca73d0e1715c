// Protects the toolbar's row of bar button items: fixed widths and flexible
// spaces laid out between the edge insets, the views made for items (their
// accessibility label and element flag, enabled state, taps running the
// action), system glyphs inked in the tint and greyed while disabled, and the
// views of items taken off the bar.
#include <doctest/doctest.h>

#include <cmath>

#include "UIKitTestSupport.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIToolbar.h"

using namespace uikittest;

namespace {
// Whether the item's place has a pixel darker than the disabled grey.
bool inked(const CGImageRef& shot, const UIView& view) {
    const CGRect f = view.frame();
    for (double y = f.origin.y; y < CGRectGetMaxY(f); y += 0.5)
        for (double x = f.origin.x; x < CGRectGetMaxX(f); x += 0.5) {
            const CGPixel p = shot->pixelAt(static_cast<std::size_t>(x * 2), static_cast<std::size_t>(y * 2));
            if (p.r < 90 && p.g < 90 && p.b < 90) return true;
        }
    return false;
}
}  // namespace

TEST_CASE("toolbar items: laid out with flexible spaces, shown by views that carry their label, state and action") {
    auto window = visibleWindow({320, 44}, rgb(1, 1, 1));
    auto bar = std::make_shared<UIToolbar>(CGRectMake(0, 0, 320, 44));
    bar->setTintColor(rgb(0, 0, 0));
    bar->setTranslucent(false);
    window->addSubview(bar);
    int refreshed = 0;
    auto refresh = UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItemRefresh,
                                                                [&](UIBarButtonItem&) { ++refreshed; });
    refresh->setWidth(27);
    refresh->setIsAccessibilityElement(true);
    refresh->setAccessibilityLabel("Reload");
    auto action = UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItemAction);
    action->setWidth(27);
    auto done = UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItemDone);
    done->setStyle(UIBarButtonItemStyleDone);
    auto spinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleGray);
    spinner->setFrame(CGRectMake(0, 0, 20, 20));
    auto custom = UIBarButtonItem::initWithCustomView(spinner);
    custom->setWidth(20);
    auto space = UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItemFlexibleSpace);
    bar->setItems({refresh, space, action, space, custom, space, done});
    window->layoutIfNeeded();

    REQUIRE(refresh->view());
    REQUIRE(done->view());
    CHECK_FALSE(space->view());
    const CGFloat doneWidth = done->view()->frame().size.width;
    CHECK(doneWidth > 30);  // the bold text "Done"
    const CGFloat share = (320 - 2 * UIToolbar::kEdgeInset - 27 - 27 - 20 - doneWidth - 3 * UIToolbar::kItemGap) / 3;
    CHECK(refresh->view()->frame() == CGRectMake(12, 0, 27, 44));
    CHECK(action->view()->frame().origin.x == std::round(12 + 27 + UIToolbar::kItemGap + share));
    CHECK(spinner->frame() == CGRectMake(std::round(12 + 54 + 20 / 2.0 + 2 * UIToolbar::kItemGap + 2 * share) - 10, 12, 20, 20));
    CHECK(done->view()->frame().origin.x + doneWidth == doctest::Approx(320 - UIToolbar::kEdgeInset).epsilon(0.01));
    CHECK(refresh->view()->accessibilityLabel() == "Reload");
    CHECK(refresh->view()->isAccessibilityElement());
    CHECK_FALSE(action->view()->isAccessibilityElement());

    // Enabled: inked and tappable; disabled: grey and no action.
    auto shot = window->snapshotImage(2);
    CHECK(inked(shot, *refresh->view()));
    CHECK(inked(shot, *action->view()));
    CHECK(inked(shot, *done->view()));
    auto* control = dynamic_cast<UIControl*>(refresh->view().get());
    REQUIRE(control);
    control->sendActionsForControlEvents(UIControlEventTouchUpInside);
    CHECK(refreshed == 1);
    refresh->setEnabled(false);
    CHECK_FALSE(control->isEnabled());
    window->layoutIfNeeded();
    shot = window->snapshotImage(2);
    CHECK_FALSE(inked(shot, *refresh->view()));
    refresh->sendAction();
    CHECK(refreshed == 1);

    // Items taken off the bar lose their views.
    const auto refreshView = refresh->view();
    bar->setItems({space, done});
    CHECK_FALSE(refresh->view());
    CHECK_FALSE(refreshView->superview());
    CHECK(done->view()->superview() == bar);
}
