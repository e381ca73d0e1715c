#pragma once
// The about tab: the application's name, its version and a few words on what
// it is. The content is all the scene's ("AboutAppViewController" in the
// storyboard "Main"); the controller adds nothing. Main thread only.
#include "platform/uikit/UIViewController.h"

class AboutAppViewController : public UIViewController {
public:
    void viewDidLoad() override;
    void didReceiveMemoryWarning() override;
};
