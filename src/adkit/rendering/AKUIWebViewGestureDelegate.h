#pragma once
// The delegate of an ad web view's debug gesture recogniser: the zig-zag
// recogniser works alongside every other recogniser except another zig-zag
// one. (The window's touch driver already shows each touch to every
// recogniser of the view and its superviews; this answer is what a driver
// that makes recognisers exclusive asks.) Main thread only.
#include "platform/foundation/NSObject.h"

class UIGestureRecognizer;

class AKUIWebViewGestureDelegate : public NSObject {
public:
    // gestureRecognizer:shouldRecognizeSimultaneouslyWithGestureRecognizer:
    bool shouldRecognizeSimultaneouslyWithGestureRecognizer(const UIGestureRecognizer& recognizer,
                                                            const UIGestureRecognizer& other) const;
};
