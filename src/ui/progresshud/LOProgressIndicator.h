#pragma once
// What the progress overlay asks of a determinate indicator: a progress value
// it can set. The round and bar indicators implement it; a custom view of the
// overlay may too, and then follows the overlay's progress.
//
// Main thread only (indicators are views).
#include <algorithm>
#include <cmath>

class LOProgressIndicator {
public:
    virtual ~LOProgressIndicator() = default;
    virtual float progress() const = 0;
    virtual void setProgress(float progress) = 0;

    // The part of the indicator drawn as done: the progress within 0...1, a
    // value that is not a number as 0. The stored value stays as it was set.
    static float drawnProgress(float progress) {
        if (std::isnan(progress)) return 0;
        return std::clamp(progress, 0.0f, 1.0f);
    }
};
