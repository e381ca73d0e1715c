#pragma once
// The device's screen. A headless stand-in: its bounds and scale are values that
// start as a phone's (320 x 568 points at scale 2) and can be set.
#include <memory>
#include <mutex>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"

class UIScreen : public NSObject {
public:
    UIScreen();
    static std::shared_ptr<UIScreen> mainScreen();

    CGRect bounds() const;
    CGFloat scale() const;

    // Observable under "bounds" and "scale".
    void setBounds(const CGRect& bounds);
    void setScale(CGFloat scale);

private:
    mutable std::mutex mutex_;
    CGRect bounds_;
    CGFloat scale_;
};
