#pragma once
// How a list (table or collection) tells a tap on a cell from a drag: the cell
// under the finger is highlighted when the touch goes down; a move farther than
// kListTapSlop points from there is a drag (the highlight goes, no selection);
// lifting without one selects the cell. The list's scroll-view touch handling
// runs beside this in every phase.
//
// Main thread only.
#include <cmath>
#include <memory>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIView.h"

inline constexpr CGFloat kListTapSlop = 10;

template <class Cell>
class UIListTouchTracker {
public:
    // The cell the touch began in (the view hit or one of its ancestors below
    // the list), highlighted; null when the touch began outside any cell.
    std::shared_ptr<Cell> began(const UITouchSet& touches, const UIView& list) {
        reset();
        if (touches.empty()) return nullptr;
        const auto& touch = *touches.begin();
        start_ = touch->locationInView(nullptr);
        for (auto v = touch->view(); v && v.get() != &list; v = v->superview()) {
            if (auto cell = std::dynamic_pointer_cast<Cell>(v)) {
                cell_ = cell;
                cell->setHighlighted(true);
                return cell;
            }
        }
        return nullptr;
    }
    void moved(const UITouchSet& touches) {
        if (touches.empty()) return;
        CGPoint p = (*touches.begin())->locationInView(nullptr);
        if (std::hypot(p.x - start_.x, p.y - start_.y) > kListTapSlop) cancel();
    }
    // The cell tapped, if the touch stayed a tap; the highlight is lifted either way.
    std::shared_ptr<Cell> ended(const UITouchSet& touches) {
        moved(touches);
        auto cell = cell_.lock();
        if (cell) cell->setHighlighted(false);
        reset();
        return cell;
    }
    void cancel() {
        if (auto cell = cell_.lock()) cell->setHighlighted(false);
        reset();
    }

private:
    void reset() { cell_.reset(); }
    std::weak_ptr<Cell> cell_;
    CGPoint start_{};
};
