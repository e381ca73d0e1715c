#pragma once
// The device's screen. A headless stand-in: its bounds and scale are values that
// start as a phone's (320 x 568 points at scale 2) and can be set. The bounds
// follow the interface orientation from system 8.0 on (width and height
// swapped in landscape); before, they stay the portrait ones.
#include <memory>
#include <mutex>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"

class UIScreen : public NSObject {
public:
    UIScreen();
    static std::shared_ptr<UIScreen> mainScreen();

    CGRect bounds() const;
    // The bounds in portrait, whatever the orientation and system.
    CGRect portraitBounds() const;
    CGFloat scale() const;

    // Observable under "bounds" and "scale"; the bounds given are the portrait ones.
    void setBounds(const CGRect& bounds);
    void setScale(CGFloat scale);

private:
    mutable std::mutex mutex_;
    CGRect bounds_;
    CGFloat scale_;
};
