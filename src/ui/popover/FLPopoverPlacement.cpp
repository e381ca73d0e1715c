#include "ui/popover/FLPopoverPlacement.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIInterfaceRotation.h"
#include "platform/uikit/UIOptionalOperations.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

namespace {
UIInterfaceOrientation statusBarOrientation() { return UIApplication::sharedApplication()->statusBarOrientation(); }

// The room and the keyboard count portrait as 1 and 2 and anything else as
// landscape; the status bar and the scale transform count only 3 and 4 as landscape.
bool portraitForRoom(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientationPortrait || o == UIInterfaceOrientationPortraitUpsideDown;
}
bool landscapeStrict(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientationLandscapeRight || o == UIInterfaceOrientationLandscapeLeft;
}

CGRect keyWindowBounds() {
    auto key = UIApplication::sharedApplication()->keyWindow();
    return key ? key->bounds() : CGRectZero;
}

// A frame for a chrome that may be turned: with a transform only its centre
// moves (its bounds keep the body's own size).
void setChromeFrame(UIView& view, CGRect frame) {
    if (CGAffineTransformIsIdentity(view.transform())) view.setFrame(frame);
    else view.setCenter(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
}
}  // namespace

float FLStatusBarHeight() {
    CGRect frame = UIApplication::sharedApplication()->statusBarFrame();
    if (NSProcessInfoRespondsToOperatingSystemVersion()) return static_cast<float>(frame.size.height);
    return static_cast<float>(landscapeStrict(statusBarOrientation()) ? frame.size.width : frame.size.height);
}

CGRect FLRectInWindowForOrientation(CGRect r, UIInterfaceOrientation orientation) {
    if (NSProcessInfoRespondsToOperatingSystemVersion()) return r;
    CGRect b = keyWindowBounds();
    // The window's size as the single-precision floats the placement reads.
    CGSize portrait = CGSizeMake(static_cast<float>(b.size.width), static_cast<float>(b.size.height));
    return UIInterfaceRotation::interfaceRectForPortraitRect(r, portrait, orientation);
}

CGRect FLPopoverPlacement::anchorInWindow(CGRect anchor, const std::shared_ptr<UIView>& view) const {
    CGRect inWindow = view ? view->convertRectToView(anchor, nullptr) : anchor;
    // A window in the interface's coordinates needs no turn, whatever the system.
    if (ignoreOrientation) return inWindow;
    return FLRectInWindowForOrientation(inWindow, statusBarOrientation());
}

CGRect FLPopoverPlacement::keyboardInInterface() const {
    return UIInterfaceRotation::interfaceRectForScreenRect(keyboardRect, statusBarOrientation());
}

CGFloat FLPopoverPlacement::keyboardHeight() const {
    if (ignoresKeyboard()) return 0;
    if (ignoreOrientation) {
        // The keyboard's screen frame brought into the overlay's coordinates.
        CGRect keyboard = keyboardInInterface();
        return overlayView ? overlayView->convertRectFromView(keyboard, nullptr).size.height : keyboard.size.height;
    }
    return portraitForRoom(statusBarOrientation()) ? keyboardRect.size.height : keyboardRect.size.width;
}

FLPopoverPlacement::Box FLPopoverPlacement::freeBox(CGFloat width, CGFloat height, CGFloat keyboardHeight) const {
    Box b;
    const auto& m = popoverLayoutMargins;
    b.minX = static_cast<float>(m.left);
    b.maxX = static_cast<float>(width - m.right);
    b.minY = FLStatusBarHeight() + static_cast<float>(m.top);
    b.maxY = static_cast<float>(height - m.bottom - keyboardHeight);
    return b;
}

CGSize FLPopoverPlacement::sizeForRect(CGRect anchor, const std::shared_ptr<UIView>& view, CGFloat arrowHeight,
                                       FLArrowDirection direction) const {
    auto o = statusBarOrientation();
    CGRect R = anchorInWindow(anchor, view);
    bool portrait = portraitForRoom(o);
    CGRect area = overlayView ? overlayView->bounds() : (view && view->window() ? view->window()->bounds() : keyWindowBounds());
    // Windows in the interface's coordinates are taken as they are; portrait ones are read across.
    bool asTheyAre = ignoreOrientation || portrait;
    CGFloat k = keyboardHeight();
    CGFloat W = asTheyAre ? area.size.width : area.size.height;
    CGFloat H = asTheyAre ? area.size.height : area.size.width;
    Box b = freeBox(W, H, k);
    auto h = static_cast<float>(arrowHeight);
    auto top = static_cast<float>(R.origin.y), bottom = static_cast<float>(R.origin.y + R.size.height);
    auto left = static_cast<float>(R.origin.x), right = static_cast<float>(R.origin.x + R.size.width);
    switch (direction) {
    case FLArrowDirectionUp: return CGSizeMake(b.maxX - b.minX, b.maxY - bottom - h);
    case FLArrowDirectionDown: return CGSizeMake(b.maxX - b.minX, top - b.minY - h);
    case FLArrowDirectionLeft: return CGSizeMake(b.maxX - right - h, b.maxY - b.minY);
    case FLArrowDirectionRight: return CGSizeMake(left - b.minX - h, b.maxY - b.minY);
    case FLArrowDirectionNone: return CGSizeMake(b.maxX - b.minX, b.maxY - b.minY);
    default: return CGSizeZero;
    }
}

std::vector<std::shared_ptr<FLPopoverArea>> FLPopoverPlacement::areasForRect(CGRect anchor,
                                                                             const std::shared_ptr<UIView>& view,
                                                                             CGFloat arrowHeight,
                                                                             FLArrowDirection permitted) const {
    std::vector<std::shared_ptr<FLPopoverArea>> areas;
    for (FLArrowDirection d : {FLArrowDirectionDown, FLArrowDirectionUp, FLArrowDirectionLeft, FLArrowDirectionRight,
                               FLArrowDirectionNone})
        if (permitted & d) areas.push_back(std::make_shared<FLPopoverArea>(d, sizeForRect(anchor, view, arrowHeight, d)));
    return areas;
}

FLArrowDirection FLPopoverPlacement::arrowDirectionForRect(CGRect anchor, const std::shared_ptr<UIView>& view,
                                                           CGSize contentSize, CGFloat arrowHeight,
                                                           FLArrowDirection permitted) const {
    auto areas = areasForRect(anchor, view, arrowHeight, permitted);
    if (areas.size() > 1)
        std::erase_if(areas, [](const auto& a) { return !(a->areaSize().width > 0 && a->areaSize().height > 0); });
    std::stable_sort(areas.begin(), areas.end(), [](const auto& a, const auto& b) { return a->value() > b->value(); });
    for (auto& a : areas)
        if (a->areaSize().width >= contentSize.width) return a->arrowDirection();
    if (!areas.empty()) return areas.front()->arrowDirection();
    if (permitted & FLArrowDirectionDown) return FLArrowDirectionDown;
    if (permitted & FLArrowDirectionUp) return FLArrowDirectionUp;
    if (permitted & FLArrowDirectionLeft) return FLArrowDirectionLeft;
    return FLArrowDirectionRight;
}

void FLPopoverPlacement::placeFrame(FLPopoverPlacementChrome& chrome, UIView& view, FLArrowDirection direction,
                                    CGRect V, Box& box, CGRect& F) const {
    UIEdgeInsets shadow = chrome.outerShadowInsets();
    chrome.setArrowDirection(direction);
    CGSize size = chrome.sizeThatFits(popoverContentSize);
    CGRect start = CGRectMake(0, 0, std::min(static_cast<CGFloat>(box.maxX - box.minX), size.width),
                              std::min(static_cast<CGFloat>(box.maxY - box.minY), size.height));
    if (direction == FLArrowDirectionDown || direction == FLArrowDirectionRight || direction == FLArrowDirectionNone)
        start = CGRectIntegral(start);
    view.setFrame(start);
    view.setCenter(CGPointMake(CGRectGetMidX(V), CGRectGetMidY(V)));
    F = view.frame();
    if (direction == FLArrowDirectionLeft) F = CGRectIntegral(F);

    // The arrow offset along the edge: how far the body moved to stay in the box.
    auto clamp = [&](CGFloat& origin, CGFloat length, float lo, float hi) {
        CGFloat offset = 0;
        if (origin < lo) {
            offset = -(lo - origin);
            origin = lo;
        } else if (origin + length > hi) {
            offset = origin + length - hi;
            origin -= offset;
        }
        chrome.setArrowOffset(static_cast<float>(offset));
    };
    // Past the box's near edge the panel gives up the overflow, never below the
    // minimum, and keeps its far edge on the anchor.
    auto shrinkPastNearEdge = [](CGFloat& origin, CGFloat& length, float lo, CGFloat minimum) {
        if (origin >= lo) return;
        CGFloat d = lo - origin;
        length -= d;
        if (length < minimum) {
            d -= minimum - length;
            length = minimum;
        }
        origin += d;
    };
    auto& x = F.origin.x;
    auto& y = F.origin.y;
    auto& w = F.size.width;
    auto& h = F.size.height;
    switch (direction) {
    case FLArrowDirectionDown:
        clamp(x, w, box.minX, box.maxX);
        y -= h / 2 + V.size.height / 2 - shadow.bottom;
        shrinkPastNearEdge(y, h, box.minY, kMinimumHeight);
        break;
    case FLArrowDirectionUp:
        clamp(x, w, box.minX, box.maxX);
        y += h / 2 + V.size.height / 2 - shadow.top;
        if (y + h > box.maxY) h = std::max(kMinimumHeight, h - (y + h - box.maxY));
        break;
    case FLArrowDirectionRight:
        x -= w / 2 + V.size.width / 2 - shadow.right;
        shrinkPastNearEdge(x, w, box.minX, kMinimumWidth);
        clamp(y, h, box.minY, box.maxY);
        break;
    case FLArrowDirectionLeft:
        x += w / 2 + V.size.width / 2 - shadow.left;
        if (x + w > box.maxX) w = std::max(kMinimumWidth, w - (x + w - box.maxX));
        clamp(y, h, box.minY, box.maxY);
        break;
    default:  // None: the middle of the free box
        view.setCenter(CGPointMake(box.minX + (box.maxX - box.minX) / 2, box.minY + (box.maxY - box.minY) / 2));
        F = view.frame();
        chrome.setArrowOffset(0);
        break;
    }
}

void FLPopoverPlacement::liftAboveKeyboard(CGRect& F, CGFloat keyboardHeight, const Box& box) const {
    if (!(keyboardHeight > 0)) return;
    CGFloat top;
    if (ignoreOrientation) top = overlayView->convertRectFromView(keyboardInInterface(), nullptr).origin.y;
    else top = portraitForRoom(statusBarOrientation()) ? keyboardRect.origin.y : keyboardRect.origin.x;
    CGFloat s = F.origin.y + F.size.height - top;
    if (!(s > 0)) return;
    if (F.origin.y - s < box.minY) s -= box.minY - (F.origin.y - s);
    if (willTranslatePopoverWithYOffset) willTranslatePopoverWithYOffset(s);
    F.origin.y -= s;
}

void FLPopoverPlacement::positionPopover(bool animated) const {
    QV_ASSERT_MAIN_THREAD();
    // Before presentation (and after dismissal) there is nothing to place.
    if (!overlayView || !backgroundView || !inView) return;
    auto view = backgroundView->chromeView();
    auto window = inView->window();
    if (!view || !window) return;
    auto& chrome = *backgroundView;
    CGRect remembered = view->frame();
    auto o = statusBarOrientation();

    CGFloat W, H;
    if (ignoreOrientation) {
        auto overlayWindow = overlayView->window();
        CGRect frame = overlayWindow ? overlayWindow->frame() : overlayView->bounds();
        W = frame.size.width;
        H = frame.size.height;
    } else {
        bool portrait = portraitForRoom(o);
        CGRect b = overlayView->bounds();
        W = portrait ? b.size.width : b.size.height;
        H = portrait ? b.size.height : b.size.width;
    }
    const CGFloat k = keyboardHeight();

    overlayView->setBounds(window->bounds());
    view->setTransform(CGAffineTransformIdentity);
    CGRect V = anchorInWindow(rect, inView);
    Box box = freeBox(W, H, k);
    FLArrowDirection direction =
        arrowDirectionForRect(rect, inView, popoverContentSize, chrome.arrowHeight(), permittedArrowDirections);
    UIEdgeInsets shadow = chrome.outerShadowInsets();
    box.minX -= static_cast<float>(shadow.left);
    box.maxX += static_cast<float>(shadow.right);
    box.minY -= static_cast<float>(shadow.top);
    box.maxY += static_cast<float>(shadow.bottom);

    CGRect F;
    placeFrame(chrome, *view, direction, V, box, F);
    F = CGRectIntegral(F);
    view->setFrame(F);
    chrome.setWantsDefaultContentAppearance(wantsDefaultContentAppearance);
    chrome.setViewController(contentViewController);
    liftAboveKeyboard(F, k, box);

    // Windows that keep portrait coordinates get the chrome turned to the interface.
    double angle = 0;
    if (!ignoreOrientation) {
        if (o == UIInterfaceOrientationPortraitUpsideDown) angle = std::numbers::pi;
        else if (o == UIInterfaceOrientationLandscapeRight) angle = std::numbers::pi / 2;
        else if (o == UIInterfaceOrientationLandscapeLeft) angle = -std::numbers::pi / 2;
    }
    view->setTransform(CGAffineTransformMakeRotation(angle));
    CGSize size = view->frame().size;
    CGPoint origin = F.origin;
    if (!ignoreOrientation) {
        CGRect kb = keyWindowBounds();
        CGFloat Wk = kb.size.width, Hk = kb.size.height;
        if (o == UIInterfaceOrientationPortraitUpsideDown)
            origin = CGPointMake(Wk - F.origin.x - size.width, Hk - F.origin.y - size.height);
        else if (o == UIInterfaceOrientationLandscapeLeft)
            origin = CGPointMake(F.origin.y, Hk - F.origin.x - size.height);
        else if (o == UIInterfaceOrientationLandscapeRight)
            origin = CGPointMake(Wk - F.origin.y - size.width, F.origin.x);
    }
    CGRect target{origin, size};
    if (animated) {
        setChromeFrame(*view, remembered);
        std::weak_ptr<UIView> weakView = view;
        UIView::animateWithDuration(kRepositionDuration, [weakView, target] {
            if (auto v = weakView.lock()) setChromeFrame(*v, target);
        });
    } else {
        setChromeFrame(*view, target);
    }
    chrome.setNeedsDisplay();
}

CGAffineTransform FLPopoverPlacement::transformForArrowDirection(FLArrowDirection direction) const {
    if (!backgroundView) return CGAffineTransformIdentity;
    auto view = backgroundView->chromeView();
    if (!view) return CGAffineTransformIdentity;
    CGAffineTransform t = view->transform();
    CGSize s = view->frame().size;
    // Only a chrome turned by placement (windows in portrait coordinates) has its sides swapped.
    if (!ignoreOrientation && landscapeStrict(statusBarOrientation())) std::swap(s.width, s.height);
    if (backgroundView->arrowHeight() != 0) {
        CGFloat offset = backgroundView->arrowOffset();
        switch (direction) {
        case FLArrowDirectionUp: t = CGAffineTransformTranslate(t, offset, -s.height / 2); break;
        case FLArrowDirectionDown: t = CGAffineTransformTranslate(t, offset, s.height / 2); break;
        case FLArrowDirectionLeft: t = CGAffineTransformTranslate(t, -s.width / 2, offset); break;
        case FLArrowDirectionRight: t = CGAffineTransformTranslate(t, s.width / 2, offset); break;
        default: break;
        }
    }
    return CGAffineTransformScale(t, 0.01, 0.01);
}
