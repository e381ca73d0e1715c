#pragma once
// The common base of the application's content screens (grids, search,
// favourites, downloads, the detail page). It adds nothing of its own: its
// load and memory-warning calls only pass to the platform's.
#include "platform/uikit/UIViewController.h"

class MyViewController : public UIViewController {
public:
    void viewDidLoad() override { UIViewController::viewDidLoad(); }
    void didReceiveMemoryWarning() override { UIViewController::didReceiveMemoryWarning(); }
};
