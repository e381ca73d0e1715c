#pragma once
// A sheet of choices rising from the bottom of a view's window: an optional
// title, then the buttons. Button indexes follow the order the platform gives
// them: the destructive button first, then the other buttons, then the cancel
// button last; added buttons go after the cancel button.
//
// Call order: initWithTitle, showInView or showFromTabBar (the sheet becomes
// visible and enters a process-wide registry, newest last); a user's press
// (pressButtonAtIndex or pressButton) tells the delegate clickedButtonAtIndex,
// then dismisses with that index: willDismissWithButtonIndex, out of the
// registry, didDismissWithButtonIndex. dismissWithClickedButtonIndex dismisses
// without the clicked call. While visible the registry holds the sheet; the
// delegate is held weakly. Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/UIView.h"

class UIActionSheet;

class UIActionSheetDelegate {
public:
    virtual ~UIActionSheetDelegate() = default;
    // actionSheet:clickedButtonAtIndex: (a user pressed the button)
    virtual void clickedButtonAtIndex(UIActionSheet& /*actionSheet*/, long /*buttonIndex*/) {}
    virtual void willPresentActionSheet(UIActionSheet&) {}
    virtual void didPresentActionSheet(UIActionSheet&) {}
    // actionSheet:willDismissWithButtonIndex: / actionSheet:didDismissWithButtonIndex:
    virtual void willDismissWithButtonIndex(UIActionSheet&, long) {}
    virtual void didDismissWithButtonIndex(UIActionSheet&, long) {}
};

class UIActionSheet : public UIView {
public:
    UIActionSheet(std::string title, std::weak_ptr<UIActionSheetDelegate> delegate,
                  std::optional<std::string> cancelButtonTitle, std::optional<std::string> destructiveButtonTitle,
                  std::vector<std::string> otherButtonTitles);
    // initWithTitle:delegate:cancelButtonTitle:destructiveButtonTitle:otherButtonTitles:
    static std::shared_ptr<UIActionSheet> initWithTitle(std::string title, std::weak_ptr<UIActionSheetDelegate> delegate,
                                                        std::optional<std::string> cancelButtonTitle,
                                                        std::optional<std::string> destructiveButtonTitle,
                                                        std::vector<std::string> otherButtonTitles = {});

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    std::shared_ptr<UIActionSheetDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UIActionSheetDelegate> delegate) { delegate_ = std::move(delegate); }

    long numberOfButtons() const { return static_cast<long>(buttons_.size()); }
    std::string buttonTitleAtIndex(long index) const;  // empty out of range
    long addButtonWithTitle(const std::string& title);  // the new button's index
    // -1 without one; setting an index out of range makes it -1.
    long cancelButtonIndex() const { return cancelButtonIndex_; }
    void setCancelButtonIndex(long index);
    long destructiveButtonIndex() const { return destructiveButtonIndex_; }
    void setDestructiveButtonIndex(long index);
    // The first button that is neither destructive nor cancel; -1 without one.
    long firstOtherButtonIndex() const;

    bool isVisible() const { return visible_; }
    // The view the sheet was last shown in (null once it is gone).
    std::shared_ptr<UIView> shownInView() const { return shownIn_.lock(); }

    // Shows the sheet over the view's window. Refused with a console line for a
    // null view or a sheet without buttons; a visible sheet is not shown twice.
    void showInView(const std::shared_ptr<UIView>& view);
    // From a tab bar (or a toolbar): shown in that bar's window the same way.
    void showFromTabBar(const std::shared_ptr<UIView>& tabBar) { showInView(tabBar); }
    // Dismisses without the delegate's clickedButtonAtIndex.
    void dismissWithClickedButtonIndex(long buttonIndex, bool animated);

    // A user's press: clickedButtonAtIndex, then the dismissal. False when the
    // sheet is not visible or has no such button.
    bool pressButtonAtIndex(long index);

    // The registry of visible sheets, oldest first.
    static std::vector<std::shared_ptr<UIActionSheet>> visibleSheets();
    // Presses the button with that title on the newest visible sheet that has one.
    static bool pressButton(const std::string& title);
    // Takes every sheet off screen without telling delegates (between tests).
    static void removeAllForTesting();

private:
    std::string title_;
    std::weak_ptr<UIActionSheetDelegate> delegate_;
    std::vector<std::string> buttons_;
    long cancelButtonIndex_ = -1;
    long destructiveButtonIndex_ = -1;
    bool visible_ = false;
    std::weak_ptr<UIView> shownIn_;
};
