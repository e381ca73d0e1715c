#pragma once
// The rotation answers of every view controller that does not answer for
// itself: what an application installs once at start-up in place of extending
// the platform's controller classes. Each question left empty keeps the
// platform's own answer. Main thread only.
#include <functional>

#include "platform/uikit/UIViewController.h"

struct UIRotationPolicy {
    std::function<UIInterfaceOrientationMask(const UIViewController&)> supportedInterfaceOrientations;
    std::function<bool(const UIViewController&)> shouldAutorotate;
    std::function<bool(const UIViewController&, UIInterfaceOrientation)> shouldAutorotateToInterfaceOrientation;

    // Replaces the installed policy (an empty one restores the platform's answers).
    static void install(UIRotationPolicy policy);
    static const UIRotationPolicy& installed();
};
