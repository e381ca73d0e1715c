#pragma once
// The cells a list (table or collection) shows now, by index path, in index
// order. Cells whose rows or items left the visible set leave the list's view
// for the reuse queue.
//
// Main thread only (it belongs to its list).
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIReusableViewQueue.h"

template <class Cell>
class UIListVisibleCells {
public:
    using CellPtr = std::shared_ptr<Cell>;

    CellPtr find(const NSIndexPath& path) const {
        auto it = cells_.find(path);
        return it == cells_.end() ? nullptr : it->second;
    }
    std::optional<NSIndexPath> indexPathOf(const Cell& cell) const {
        for (auto& [path, c] : cells_)
            if (c.get() == &cell) return path;
        return std::nullopt;
    }
    std::vector<CellPtr> cells() const {
        std::vector<CellPtr> all;
        for (auto& [path, cell] : cells_) all.push_back(cell);
        return all;
    }
    std::vector<NSIndexPath> indexPaths() const {
        std::vector<NSIndexPath> all;
        for (auto& [path, cell] : cells_) all.push_back(path);
        return all;
    }
    bool empty() const { return cells_.empty(); }

    void set(const NSIndexPath& path, CellPtr cell) { cells_[path] = std::move(cell); }
    // Every cell whose path the predicate does not keep goes to the queue.
    template <class Keep>
    void recycleUnless(Keep keep, UIReusableViewQueue<Cell>& queue) {
        for (auto it = cells_.begin(); it != cells_.end();) {
            if (keep(it->first)) {
                ++it;
                continue;
            }
            it->second->removeFromSuperview();
            queue.enqueue(it->second);
            it = cells_.erase(it);
        }
    }
    void recycleAll(UIReusableViewQueue<Cell>& queue) {
        recycleUnless([](const NSIndexPath&) { return false; }, queue);
    }

private:
    std::map<NSIndexPath, CellPtr> cells_;
};
