#pragma once
// The base of the full-screen ad controllers. Presentation and dismissal post
// "kAdModalViewControllerWillPresentFullScreen" and
// "kAdModalViewControllerDidDismissFullScreen". This header holds what ad
// rendering calls; presenting and dismissing come with the ad formats.
#include "platform/uikit/UIViewController.h"

inline constexpr const char* kAdModalViewControllerWillPresentFullScreen = "kAdModalViewControllerWillPresentFullScreen";
inline constexpr const char* kAdModalViewControllerDidDismissFullScreen = "kAdModalViewControllerDidDismissFullScreen";

class AKViewController : public UIViewController {
public:
    using UIViewController::UIViewController;
    // Gives the screen back (closes the full-screen ad).
    virtual void relinquishScreen() {}
};
