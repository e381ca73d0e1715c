#pragma once
// The base of the full-screen ad controllers (the web-app controller, the
// in-app browser, the publisher toolbar). It owns the presentation sequence:
// it keeps itself alive while on screen, hides the status bar, keeps the
// screen from dimming, tells its slot and the process that full-screen ad
// content comes and goes, closes itself when the user comes back to the
// application after an ad sent them elsewhere, and records landing-page
// timings in the ad's statistics.
//
// Call order: presentFromViewController (a null presenter logs "No
// UIViewController supplied to the ad. Cannot continue." and changes nothing;
// a presenter that already presents another controller, or is being
// dismissed, is logged and changes nothing either: the platform would refuse
// the presentation, and a controller holding itself for a presentation that
// never came would never be released, its will-present never paired)
// → viewDidAppear (the platform's, or the safety call 0.6 s after
// presentation; the first of them makes the view interactive) →
// relinquishScreen (a close button, a "close" message, the return to the
// application) → viewDidDisappear → destruction.
//
// Pairing: each presentation posts kAdModalViewControllerWillPresentFullScreen
// once and kAdModalViewControllerDidDismissFullScreen once; relinquishScreen
// acts only on a presentation not yet relinquished, so a close tap and a
// "close" message together dismiss once, and the safety call does nothing
// after a relinquish. Only the first controller of a stack (presented by a
// controller that is no AKViewController) talks to the slot (will-present,
// will-dismiss), the status bar and the idle timer. At its destruction every
// controller that was presented has no parent any more, so each tells the slot
// did-dismiss, a stacked one too (a browser closed over an interstitial): as
// announced only when it told will-present, and the slot hands only those on,
// so its owner's will-present and did-dismiss stay paired.
//
// Threads: main thread only. The slot is held weakly.
#include <cstdint>
#include <memory>

#include "platform/uikit/UIViewController.h"

class AKSlot;

inline constexpr const char* kAdModalViewControllerWillPresentFullScreen = "kAdModalViewControllerWillPresentFullScreen";
inline constexpr const char* kAdModalViewControllerDidDismissFullScreen = "kAdModalViewControllerDidDismissFullScreen";

class AKViewController : public UIViewController {
public:
    static constexpr double kAppearanceSafetyDelay = 0.6;

    // init: orientation code 1 (any), transition style cover vertical.
    AKViewController();
    ~AKViewController() override;

    void presentFromViewController(const std::shared_ptr<UIViewController>& presenter);
    // Gives the screen back; also the action of close and done buttons.
    virtual void relinquishScreen();

    // Orientation codes: 1 any, 2 portrait, 3 landscape; 0 keeps the code.
    std::int64_t supportedOrientations() const { return supportedOrientations_; }
    void setSupportedOrientations(std::int64_t code);

    // Platform overrides.
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool prefersStatusBarHidden() const override { return true; }
    bool shouldAutorotate() const override { return true; }
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) const override;
    UIInterfaceOrientationMask supportedInterfaceOrientations() const override;

    // The will-enter-foreground observer.
    void appDidEnterForeground();
    // Hides the status bar again, keeping the remembered statusBarWasHidden.
    void ensureStatusBarHidden();
    // presentFrom, then the safety viewDidAppear 0.6 s later.
    void scheduleAppearanceNotificationAndPresentFrom(const std::shared_ptr<UIViewController>& presenter);

    // Fields.
    virtual std::shared_ptr<AKSlot> slot() const { return slot_.lock(); }
    void setSlot(const std::shared_ptr<AKSlot>& slot) { slot_ = slot; }
    // YES between the appearance and the disappearance (the field viewDidAppear).
    bool hasViewAppeared() const { return viewDidAppear_; }
    bool statusBarWasHidden() const { return statusBarWasHidden_; }
    bool publisherIdleTimerDisabled() const { return publisherIdleTimerDisabled_; }
    bool interactingWithParent() const { return interactingWithParent_; }
    bool wasPresentedFromViewController() const { return wasPresentedFromViewController_; }
    // Whether the controller keeps itself alive (retainCycle).
    bool holdsItself() const { return static_cast<bool>(retainCycle_); }
    // The presenting controller; YES for isFirstAKViewController when it is no AKViewController.
    std::shared_ptr<UIViewController> parent() const { return presentingViewController(); }
    bool isFirstAKViewController() const;
    // Whether a presentation is on and not yet relinquished.
    bool isPresented() const { return presentation_ == Presentation::Presented; }

protected:
    // Extension points for subclasses, in order of use.
    virtual void presentFrom(const std::shared_ptr<UIViewController>& presenter);
    virtual void dismiss();
    virtual void hideStatusBar();
    virtual void restoreStatusBar();
    virtual bool shouldDismissOnAppClose() { return true; }
    // Whether presentFrom can show this controller from the presenter now.
    virtual bool canPresentFrom(const UIViewController& presenter) const;

private:
    enum class Presentation { Idle, Presented, Relinquished };
    void moveTo(Presentation next);
    void recordDisappearanceTimings();

    Presentation presentation_ = Presentation::Idle;
    bool viewDidAppear_ = false;
    bool statusBarWasHidden_ = false;
    bool publisherIdleTimerDisabled_ = false;
    bool interactingWithParent_ = false;
    bool wasPresentedFromViewController_ = false;
    bool toldSlotWillPresent_ = false;
    std::int64_t supportedOrientations_ = 1;
    std::weak_ptr<AKSlot> slot_;
    std::shared_ptr<AKViewController> retainCycle_;
};
