#pragma once
// The delegate of an ad web view's debug gesture recogniser: the zig-zag
// recogniser works alongside every other recogniser of a touch (a swipe's pan
// on the banner, a recogniser of the application around the ad) except
// another zig-zag one. The window's touch driver makes the recognisers of a
// touch exclude each other and asks this answer. Main thread only.
#include "platform/foundation/NSObject.h"
#include "platform/uikit/UIGestureRecognizer.h"

class AKUIWebViewGestureDelegate : public NSObject, public UIGestureRecognizerDelegate {
public:
    // gestureRecognizer:shouldRecognizeSimultaneouslyWithGestureRecognizer:
    bool shouldRecognizeSimultaneouslyWithGestureRecognizer(const UIGestureRecognizer& recognizer,
                                                            const UIGestureRecognizer& other) const override;
};
