#pragma once
// A view a collection view places and reuses: cells and supplementary views
// (section headers). It carries the reuse identifier it was registered under;
// prepareForReuse runs when the collection hands it out again after it
// scrolled out; awakeFromNib once after an interface file built it.
//
// Main thread only.
#include <string>

#include "platform/uikit/UIView.h"

class UICollectionReusableView : public UIView {
public:
    explicit UICollectionReusableView(CGRect frame = CGRectZero) : UIView(frame) {}

    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }

    virtual void prepareForReuse() { ++reuseCount_; }
    virtual void awakeFromNib() {}
    // How many times the view was handed out again (tests and diagnostics).
    std::size_t reuseCount() const { return reuseCount_; }

private:
    std::string reuseIdentifier_;
    std::size_t reuseCount_ = 0;
};
using UICollectionReusableViewPtr = std::shared_ptr<UICollectionReusableView>;
