#pragma once
// A modal alert with a title, a message and buttons (the cancel button first).
// Shown alerts are kept in a process-wide registry, newest last, until they are
// dismissed; tests read it and press buttons as a user would.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/UIView.h"

class UIAlertView;

class UIAlertViewDelegate {
public:
    virtual ~UIAlertViewDelegate() = default;
    // alertView:clickedButtonAtIndex: (a user pressed the button)
    virtual void clickedButtonAtIndex(UIAlertView& /*alertView*/, long /*buttonIndex*/) {}
    virtual void willPresentAlertView(UIAlertView&) {}
    virtual void didPresentAlertView(UIAlertView&) {}
    // alertView:willDismissWithButtonIndex: / alertView:didDismissWithButtonIndex:
    virtual void willDismissWithButtonIndex(UIAlertView&, long) {}
    virtual void didDismissWithButtonIndex(UIAlertView&, long) {}
};

class UIAlertView : public UIView {
public:
    UIAlertView(std::string title, std::string message, std::weak_ptr<UIAlertViewDelegate> delegate,
                std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles);
    // initWithTitle:message:delegate:cancelButtonTitle:otherButtonTitles:
    static std::shared_ptr<UIAlertView> initWithTitle(std::string title, std::string message,
                                                      std::weak_ptr<UIAlertViewDelegate> delegate,
                                                      std::optional<std::string> cancelButtonTitle,
                                                      std::vector<std::string> otherButtonTitles = {});

    const std::string& title() const { return title_; }
    const std::string& message() const { return message_; }
    std::shared_ptr<UIAlertViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UIAlertViewDelegate> delegate) { delegate_ = std::move(delegate); }
    long numberOfButtons() const { return static_cast<long>(buttons_.size()); }
    std::string buttonTitleAtIndex(long index) const;  // empty out of range
    long addButtonWithTitle(const std::string& title);  // the new button's index
    long cancelButtonIndex() const { return cancelButtonIndex_; }  // -1 without one
    bool isVisible() const { return visible_; }

    // Shows the alert (a visible alert is not shown twice).
    void show();
    // Dismisses without a button press reaching the delegate's clickedButtonAtIndex.
    void dismissWithClickedButtonIndex(long buttonIndex, bool animated);

    // A user's press: clickedButtonAtIndex, then the dismissal. False when the
    // alert is not visible or has no such button.
    bool pressButtonAtIndex(long index);

    // The registry of shown alerts.
    static std::vector<std::shared_ptr<UIAlertView>> visibleAlerts();
    // Presses the button with that title on the newest visible alert that has one.
    static bool pressButton(const std::string& title);
    // Takes every alert off screen without telling delegates (between tests).
    static void removeAllForTesting();

private:
    std::string title_;
    std::string message_;
    std::weak_ptr<UIAlertViewDelegate> delegate_;
    std::vector<std::string> buttons_;
    long cancelButtonIndex_ = -1;
    bool visible_ = false;
};
