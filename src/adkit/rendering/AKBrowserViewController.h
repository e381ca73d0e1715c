#pragma once
// The in-app browser's controller. This header holds what ad rendering calls;
// the browser itself comes with the in-app browser.
#include <memory>

#include "adkit/rendering/AKViewController.h"

class AKSlot;

class AKBrowserViewController : public AKViewController {
public:
    using AKViewController::AKViewController;
    virtual void refreshToolbar() {}
};
