#include "adkit/rendering/AKUIWebViewGestureDelegate.h"

#include "adkit/foundation/AKImpressionTicketTouchRecognizer.h"

bool AKUIWebViewGestureDelegate::shouldRecognizeSimultaneouslyWithGestureRecognizer(
    const UIGestureRecognizer& /*recognizer*/, const UIGestureRecognizer& other) const {
    return dynamic_cast<const AKImpressionTicketTouchRecognizer*>(&other) == nullptr;
}
