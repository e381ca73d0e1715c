#pragma once
// The navigation controller of every tab. Like every navigation controller it
// passes the orientation questions to its top controller (the rotation
// policy), except that it always allows rotation itself. Main thread only.
#include "platform/uikit/UINavigationController.h"

class MyNavigationViewController : public UINavigationController {
public:
    void viewDidLoad() override;
    void didReceiveMemoryWarning() override;
    bool shouldAutorotate() const override { return true; }
};
