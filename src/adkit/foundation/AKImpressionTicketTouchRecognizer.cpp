#include "adkit/foundation/AKImpressionTicketTouchRecognizer.h"

#include "platform/uikit/UIView.h"

AKTouchSample AKImpressionTicketTouchRecognizer::sample(CGPoint locationInWindow) {
    setLocation(locationInWindow);
    const auto host = view();
    const CGPoint here = locationInView(host.get());
    const AKTouchSample touch{here, previous_};
    previous_ = here;
    return touch;
}

bool AKImpressionTicketTouchRecognizer::touchesBegan(const UITouchSet& touches, CGPoint locationInWindow) {
    zigZag_.reset();
    setState(UIGestureRecognizerStatePossible);
    setLocation(locationInWindow);
    previous_ = locationInView(view().get());
    zigZag_.touchesBegan(touches.size(), sample(locationInWindow));
    return false;
}

bool AKImpressionTicketTouchRecognizer::touchesMoved(const UITouchSet& touches, CGPoint locationInWindow) {
    zigZag_.touchesMoved(touches.size(), sample(locationInWindow));
    if (zigZag_.state() == AKGestureRecognizerStateFailed) setState(UIGestureRecognizerStateFailed);
    return false;
}

bool AKImpressionTicketTouchRecognizer::touchesEnded(const UITouchSet& touches, CGPoint locationInWindow) {
    zigZag_.touchesEnded(touches.size(), sample(locationInWindow));
    if (zigZag_.state() != AKGestureRecognizerStateEnded) {
        setState(UIGestureRecognizerStateFailed);
        return false;
    }
    setState(UIGestureRecognizerStateEnded);
    sendActions();
    return true;
}

void AKImpressionTicketTouchRecognizer::touchesCancelled(const UITouchSet& touches) {
    zigZag_.touchesCancelled();
    UIGestureRecognizer::touchesCancelled(touches);
}

void AKImpressionTicketTouchRecognizer::reset() {
    UIGestureRecognizer::reset();
    zigZag_.reset();
}
