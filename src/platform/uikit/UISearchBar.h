#pragma once
// A search field: text, placeholder and an optional "Cancel" button, with its
// delegate told of editing as the platform does. A tap on the field makes the
// bar first responder (asking searchBarShouldBeginEditing, then
// searchBarTextDidBeginEditing, and the keyboard comes up). Typed text arrives
// one character at a time, each followed by textDidChange; Backspace removes
// one (textDidChange when something went); Return calls
// searchBarSearchButtonClicked and inserts nothing. Resigning asks
// searchBarShouldEndEditing, then searchBarTextDidEndEditing. The cancel
// button calls searchBarCancelButtonClicked. Setting the text in code tells
// nobody.
//
// The field shows the text from its start, cut with an ellipsis when it is
// longer than the field; while editing it shows the caret after the text and
// scrolls the text left as far as it needs to keep the caret in view.
//
// Main thread only.
#include <memory>
#include <string>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIKeyInput.h"
#include "platform/uikit/UIView.h"

class UISearchBar;

class UISearchBarDelegate {
public:
    virtual ~UISearchBarDelegate() = default;
    virtual bool searchBarShouldBeginEditing(UISearchBar&) { return true; }
    virtual void searchBarTextDidBeginEditing(UISearchBar&) {}
    virtual bool searchBarShouldEndEditing(UISearchBar&) { return true; }
    virtual void searchBarTextDidEndEditing(UISearchBar&) {}
    virtual void textDidChange(UISearchBar& /*searchBar*/, const std::string& /*searchText*/) {}
    virtual void searchBarSearchButtonClicked(UISearchBar&) {}
    virtual void searchBarCancelButtonClicked(UISearchBar&) {}
};

class UISearchBar : public UIView, public UIKeyInput {
public:
    explicit UISearchBar(CGRect frame = CGRectMake(0, 0, 320, 44));

    const std::string& text() const { return text_; }
    void setText(std::string text);
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string placeholder);
    std::shared_ptr<UISearchBarDelegate> delegate() const { return delegate_.lock(); }
    // Held weakly.
    void setDelegate(const std::shared_ptr<UISearchBarDelegate>& delegate) { delegate_ = delegate; }
    bool showsCancelButton() const { return cancelButton_ != nullptr; }
    void setShowsCancelButton(bool shows, bool animated = false);
    // The bar's background (a light grey unless set).
    CGColorRef barTintColor() const { return barTintColor_; }
    void setBarTintColor(CGColorRef color);
    // The "Cancel" button while shown.
    std::shared_ptr<UIButton> cancelButton() const { return cancelButton_; }
    // Where the field is drawn, in the bounds.
    CGRect fieldRect() const;
    // Where the caret is drawn while editing, in the bounds (null otherwise).
    CGRect caretRect() const;

    // UIKeyInput.
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    bool hasText() const override { return !text_.empty(); }

    bool canBecomeFirstResponder() const override { return isUserInteractionEnabled(); }
    bool shouldBecomeFirstResponder() override;
    void didBecomeFirstResponder() override;
    bool shouldResignFirstResponder() override;
    void didResignFirstResponder() override;

    void touchesBegan(const UITouchSet&, UIEvent*) override {}
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void layoutSubviews() override;
    void drawRect(CGRect rect) override;
    CGSize intrinsicContentSize() const override { return CGSizeMake(UIViewNoIntrinsicMetric, 44); }

private:
    CGRect textRect() const;    // the line the text is drawn on, in the bounds
    CGFloat textScroll() const;  // how far left the edited text is moved
    std::string text_;
    std::string placeholder_;
    std::weak_ptr<UISearchBarDelegate> delegate_;
    std::shared_ptr<UIButton> cancelButton_;
    CGColorRef barTintColor_;
};
