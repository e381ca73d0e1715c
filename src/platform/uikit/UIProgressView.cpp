#include "platform/uikit/UIProgressView.h"

#include <algorithm>

#include "platform/foundation/ThreadAssertions.h"

void UIProgressView::setProgress(float progress, bool animated) {
    QV_ASSERT_MAIN_THREAD();
    willChangeValueForKey("progress");
    progress_ = std::clamp(progress, 0.0f, 1.0f);
    lastAnimated_ = animated;
    didChangeValueForKey("progress");
    setNeedsDisplay();
}
