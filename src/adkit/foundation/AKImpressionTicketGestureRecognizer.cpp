#include "adkit/foundation/AKImpressionTicketGestureRecognizer.h"

#include <cmath>

namespace {
constexpr double kMaximumVerticalJump = 5.0;
constexpr double kMinimumStroke = 15.0;
}  // namespace

void AKImpressionTicketGestureRecognizer::touchesBegan(std::size_t touchCount, const AKTouchSample& touch) {
    (void)touch;
    if (touchCount != 1) fail();
}

// One step of a stroke: going on in its direction adds the distance; turning
// back needs a long enough stroke and starts the next one.
void AKImpressionTicketGestureRecognizer::turn(bool reversed, double dx) {
    if (!reversed) {
        distanceMoved_ += dx;
        return;
    }
    if (distanceMoved_ < kMinimumStroke) {
        fail();
        return;
    }
    distanceMoved_ = dx;
    ++gestureState_;
}

void AKImpressionTicketGestureRecognizer::touchesMoved(std::size_t touchCount, const AKTouchSample& touch) {
    (void)touchCount;
    if (state_ == AKGestureRecognizerStateFailed) return;
    const double x = touch.location.x, px = touch.previousLocation.x;
    if (std::fabs(touch.location.y - touch.previousLocation.y) > kMaximumVerticalJump) {
        fail();
        return;
    }
    const double dx = std::fabs(x - px);
    switch (gestureState_) {
        case 0:
            if (x < px) {
                fail();
            } else {
                distanceMoved_ += dx;
                gestureState_ = 1;
            }
            break;
        case 1:  // moving right
        case 3:
            turn(x < px, dx);
            break;
        case 2:  // moving left
            turn(x > px, dx);
            break;
        case 4:  // moving left, any amount
            if (x > px) {
                fail();
            } else {
                distanceMoved_ += dx;
            }
            break;
        default:
            break;
    }
}

void AKImpressionTicketGestureRecognizer::touchesEnded(std::size_t touchCount, const AKTouchSample& touch) {
    (void)touchCount;
    (void)touch;
    if (state_ == AKGestureRecognizerStatePossible && gestureState_ == 4) {
        state_ = AKGestureRecognizerStateEnded;
        if (action_) action_();
    } else {
        fail();
        gestureState_ = 0;
    }
}

void AKImpressionTicketGestureRecognizer::touchesCancelled() {
    fail();
    reset();
}

void AKImpressionTicketGestureRecognizer::reset() {
    // The platform's reset puts the recogniser back to possible.
    state_ = AKGestureRecognizerStatePossible;
    gestureState_ = 0;
    distanceMoved_ = 0;
}
