#pragma once
// Controls: views with an enabled, highlighted and selected state.
#include "platform/uikit/UIView.h"

using UIControlState = unsigned long;
inline constexpr UIControlState UIControlStateNormal = 0;
inline constexpr UIControlState UIControlStateHighlighted = 1 << 0;
inline constexpr UIControlState UIControlStateDisabled = 1 << 1;
inline constexpr UIControlState UIControlStateSelected = 1 << 2;

class UIControl : public UIView {
public:
    using UIView::UIView;

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { selected_ = selected; }
    // The flags above as one state.
    UIControlState state() const;

private:
    bool enabled_ = true;
    bool highlighted_ = false;
    bool selected_ = false;
};
