#include "platform/uikit/UIControl.h"

UIControlState UIControl::state() const {
    UIControlState state = UIControlStateNormal;
    if (highlighted_) state |= UIControlStateHighlighted;
    if (!enabled_) state |= UIControlStateDisabled;
    if (selected_) state |= UIControlStateSelected;
    return state;
}
