#pragma once
// Transactions group layer changes: their animation duration, whether property
// changes animate implicitly (standalone layers only; a view's layer animates
// only inside the view's animation blocks) and a completion block that runs on
// the main run loop once every animation added inside the transaction has ended
// (on the next pass when none was added). Transactions nest; each thread has its
// own stack, and outside any explicit transaction the defaults apply
// (0.25 seconds, actions enabled).
#include <functional>
#include <memory>

class CATransaction {
public:
    static void begin();
    static void commit();  // an unbalanced commit is ignored with a console line
    static double animationDuration();
    static void setAnimationDuration(double seconds);
    static bool disableActions();
    static void setDisableActions(bool disable);
    static void setCompletionBlock(std::function<void()> block);
    // How deep the current thread's explicit transactions go.
    static int depth();

    // The group of the innermost transaction, joined by each animation added
    // inside it (null outside explicit transactions).
    static std::shared_ptr<void> currentGroup();
    // Called by a layer when an animation of the group ends.
    static void animationEnded(const std::shared_ptr<void>& group);
    static void animationJoined(const std::shared_ptr<void>& group);
};
