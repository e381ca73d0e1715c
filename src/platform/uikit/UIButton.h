#pragma once
// Buttons with an image and a background image per control state. A state
// without its own image shows the normal state's.
#include <map>
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIImage.h"

class UIButton : public UIControl {
public:
    using UIControl::UIControl;

    // A null image removes the state's own image.
    void setImage(UIImagePtr image, UIControlState state);
    UIImagePtr imageForState(UIControlState state) const;
    void setBackgroundImage(UIImagePtr image, UIControlState state);
    UIImagePtr backgroundImageForState(UIControlState state) const;
    // The images of the current state.
    UIImagePtr currentImage() const { return imageForState(state()); }
    UIImagePtr currentBackgroundImage() const { return backgroundImageForState(state()); }

private:
    static UIImagePtr lookup(const std::map<UIControlState, UIImagePtr>& images, UIControlState state);
    std::map<UIControlState, UIImagePtr> images_;
    std::map<UIControlState, UIImagePtr> backgroundImages_;
};
