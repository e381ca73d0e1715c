#pragma once
// Recognises one horizontal zig-zag drawn with one finger: right at least 15
// points, left at least 15, right at least 15, then left by any amount, then
// lift, with no vertical jump above 5 points between two moves.
//
// The recogniser is driven through a narrow seam: the window layer's gesture
// recognizer hands it each touch phase with the number of touches and the
// touch's location and previous location in the recogniser's view. States are
// the platform's: possible (0), recognised/ended (3), failed (5); recognition
// runs the action once. Main thread only.
#include <cstddef>
#include <functional>

#include "platform/graphics/CGGeometry.h"

enum AKGestureRecognizerState : long {
    AKGestureRecognizerStatePossible = 0,
    AKGestureRecognizerStateEnded = 3,
    AKGestureRecognizerStateFailed = 5,
};

struct AKTouchSample {
    CGPoint location;
    CGPoint previousLocation;
};

class AKImpressionTicketGestureRecognizer {
public:
    explicit AKImpressionTicketGestureRecognizer(std::function<void()> action = {}) : action_(std::move(action)) {}

    void touchesBegan(std::size_t touchCount, const AKTouchSample& touch);
    void touchesMoved(std::size_t touchCount, const AKTouchSample& touch);
    void touchesEnded(std::size_t touchCount, const AKTouchSample& touch);
    void touchesCancelled();
    void reset();

    AKGestureRecognizerState state() const { return state_; }
    long gestureState() const { return gestureState_; }
    double distanceMoved() const { return distanceMoved_; }

private:
    void fail() { state_ = AKGestureRecognizerStateFailed; }
    void turn(bool reversed, double dx);
    std::function<void()> action_;
    AKGestureRecognizerState state_ = AKGestureRecognizerStatePossible;
    long gestureState_ = 0;
    double distanceMoved_ = 0;
};
