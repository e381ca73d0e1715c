#pragma once
// A block of text, wrapped to the view's width, optionally editable. An
// editable text view takes the first responder on a tap (asking its delegate's
// textViewShouldBeginEditing; NO keeps it from editing) and then typed text:
// each character is appended and textViewDidChange follows; Return is a line
// break; Backspace removes a character. Setting the text in code tells nobody.
// Text beyond the view's height is clipped.
//
// Main thread only.
#include <memory>
#include <string>

#include "platform/uikit/UIEdgeInsets.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIKeyInput.h"
#include "platform/uikit/UIView.h"

class UITextView;

class UITextViewDelegate {
public:
    virtual ~UITextViewDelegate() = default;
    virtual bool textViewShouldBeginEditing(UITextView&) { return true; }
    virtual void textViewDidBeginEditing(UITextView&) {}
    virtual bool textViewShouldEndEditing(UITextView&) { return true; }
    virtual void textViewDidEndEditing(UITextView&) {}
    virtual void textViewDidChange(UITextView&) {}
};

class UITextView : public UIView, public UIKeyInput {
public:
    explicit UITextView(CGRect frame = CGRectZero);

    const std::string& text() const { return text_; }
    void setText(std::string text);
    // Null: the system font of 12 points.
    UIFontPtr font() const { return font_; }
    void setFont(UIFontPtr font);
    // Black unless set.
    CGColorRef textColor() const { return textColor_; }
    void setTextColor(CGColorRef color);
    long textAlignment() const { return textAlignment_; }
    void setTextAlignment(long alignment);
    bool isEditable() const { return editable_; }
    void setEditable(bool editable);
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool selectable) { selectable_ = selectable; }
    UIEdgeInsets textContainerInset() const { return inset_; }
    void setTextContainerInset(UIEdgeInsets inset);
    std::shared_ptr<UITextViewDelegate> delegate() const { return delegate_.lock(); }
    // Held weakly.
    void setDelegate(const std::shared_ptr<UITextViewDelegate>& delegate) { delegate_ = delegate; }

    // UIKeyInput.
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    bool hasText() const override { return !text_.empty(); }

    bool canBecomeFirstResponder() const override { return editable_; }
    bool shouldBecomeFirstResponder() override;
    void didBecomeFirstResponder() override;
    bool shouldResignFirstResponder() override;
    void didResignFirstResponder() override;

    void touchesBegan(const UITouchSet&, UIEvent*) override {}
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    CGSize sizeThatFits(CGSize size) const override;
    void drawRect(CGRect rect) override;

private:
    UIFontPtr effectiveFont() const { return font_ ? font_ : UIFont::systemFontOfSize(12); }
    std::string text_;
    UIFontPtr font_;
    CGColorRef textColor_;
    long textAlignment_ = 0;
    bool editable_ = true;
    bool selectable_ = true;
    UIEdgeInsets inset_{8, 5, 8, 5};
    std::weak_ptr<UITextViewDelegate> delegate_;
};
