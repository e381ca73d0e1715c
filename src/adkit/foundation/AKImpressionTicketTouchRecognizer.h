#pragma once
// The zig-zag recogniser attached to a view: a gesture recognizer of the
// window's touch driver that hands each touch phase, with the number of
// touches and the locations in its view, to AKImpressionTicketGestureRecognizer
// and sends its actions when the zig-zag is recognised. Main thread only.
#include <memory>

#include "adkit/foundation/AKImpressionTicketGestureRecognizer.h"
#include "platform/uikit/UIGestureRecognizer.h"

class AKImpressionTicketTouchRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;

    bool touchesBegan(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesMoved(const UITouchSet& touches, CGPoint locationInWindow) override;
    bool touchesEnded(const UITouchSet& touches, CGPoint locationInWindow) override;
    void touchesCancelled(const UITouchSet& touches) override;
    void reset() override;

    const AKImpressionTicketGestureRecognizer& zigZag() const { return zigZag_; }

private:
    AKTouchSample sample(CGPoint locationInWindow);
    AKImpressionTicketGestureRecognizer zigZag_;
    CGPoint previous_{};
};
