#pragma once
// Shared pieces of the pull-to-refresh and infinite-scrolling tests: a scroll
// view in a visible window, console capture and a bounded wait that names what
// it waited for.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/UIKitTestSupport.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIWindow.h"
#include "support/TestEnvironment.h"

namespace scrolltest {

// A scroll view filling a visible window, with its content and insets set and
// resting at the top.
struct ScrollScene {
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIScrollView> scroll;
    ScrollScene(CGSize size, CGFloat contentHeight, UIEdgeInsets insets = UIEdgeInsetsZero) {
        window = uikittest::visibleWindow(size);
        scroll = std::make_shared<UIScrollView>(CGRectMake(0, 0, size.width, size.height));
        window->addSubview(scroll);
        scroll->setContentSize({size.width, contentHeight});
        scroll->setContentInset(insets);
        scroll->setContentOffset({0, -insets.top});
    }
    // A finger pulls the content through the offsets (y) and lets go there.
    void drag(const std::vector<CGFloat>& offsets, bool release = true) const {
        scroll->beginDragging();
        for (CGFloat y : offsets) scroll->dragToContentOffset({0, y});
        if (release) scroll->endDragging();
    }
};

// Console lines written while it lives.
struct ConsoleCapture {
    std::vector<std::string> lines;
    ConsoleCapture() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~ConsoleCapture() { setLogHook(nullptr); }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;
};

// Runs the main run loop until the condition holds; fails naming what it waited for.
inline void waitFor(const std::function<bool()>& condition, const std::string& what, double timeout = 10) {
    REQUIRE_MESSAGE(testsupport::runMainUntil(condition, timeout), "timed out waiting for " << what);
}

}  // namespace scrolltest
