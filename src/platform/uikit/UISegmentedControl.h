#pragma once
// A row of segments with titles, one of them selected. Setting the selection
// in code sends nothing; a touch that lifts inside another segment selects it
// and sends UIControlEventValueChanged (before the touch-up event). Drawn as a
// tinted outline, the selected segment filled with the tint and its title in
// white, the others' titles in the tint.
//
// Main thread only.
#include <string>
#include <vector>

#include "platform/uikit/UIControl.h"

inline constexpr long UISegmentedControlNoSegment = -1;

class UISegmentedControl : public UIControl {
public:
    explicit UISegmentedControl(CGRect frame = CGRectZero);
    explicit UISegmentedControl(std::vector<std::string> items);

    std::size_t numberOfSegments() const { return titles_.size(); }
    // UISegmentedControlNoSegment, or an index below numberOfSegments.
    long selectedSegmentIndex() const { return selected_; }
    // Out of range clears the selection. Sends nothing.
    void setSelectedSegmentIndex(long index);
    std::string titleForSegmentAtIndex(std::size_t index) const;
    void setTitle(std::string title, std::size_t forSegmentAtIndex);
    // An index past the end appends.
    void insertSegmentWithTitle(std::string title, std::size_t atIndex, bool animated = false);
    void removeSegmentAtIndex(std::size_t index, bool animated = false);
    void removeAllSegments();
    bool isEnabledForSegmentAtIndex(std::size_t index) const;
    void setEnabled(bool enabled, std::size_t forSegmentAtIndex);
    // The segment under a point of the bounds (NoSegment outside).
    long segmentAtPoint(CGPoint point) const;

    CGSize intrinsicContentSize() const override;
    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(CGRect rect) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void tintColorDidChange() override { setNeedsDisplay(); }

private:
    void changed();
    std::vector<std::string> titles_;
    std::vector<bool> disabled_;
    long selected_ = UISegmentedControlNoSegment;
};
