#pragma once
// A plain controller for scenes without code of their own: what its scene
// builds is all it shows. Main thread only.
#include "platform/uikit/UIViewController.h"

class GeneralViewController : public UIViewController {
public:
    void viewDidLoad() override;
    void didReceiveMemoryWarning() override;
};
