#pragma once
// The popover's extensions of navigation and view controllers: a popover sizes
// itself from its content's preferred size, and when the content is a
// navigation controller the size that matters is the top controller's, which
// changes on every push. These keep the navigation controller's own size in
// step.
//
// Installed once, process-wide (FLPopoverInstallControllerExtensions, at
// start-up; later calls do nothing), as hooks of the platform's classes:
// - around push and set-view-controllers: on a navigation controller marked as
//   embedded in a popover, the pushed (or last) controller's size becomes the
//   navigation controller's, before and after the platform's own operation,
//   and extended-layout edges are turned off on the controllers it shows;
// - after the content-size setters: any view controller inside a navigation
//   controller (embedded or not) passes its size up; a navigation controller
//   itself does not pass anything on.
//
// Main thread only.
#include <memory>

#include "platform/graphics/CGGeometry.h"

class UINavigationController;
class UIViewController;

struct UINavigationControllerFLPopover {
    // The embedded mark, kept on the controller under
    // "UINavigationControllerEmbedInPopoverTagKey"; absent means NO.
    static bool isEmbedInPopover(const UINavigationController& navigation);
    static void setEmbedInPopover(UINavigationController& navigation, bool embedded);
    // The controller's size for popovers: its preferredContentSize where the
    // system has one, else its contentSizeForViewInPopover.
    static CGSize contentSize(const UIViewController& controller);
    // Sets the navigation controller's contentSizeForViewInPopover, and its
    // preferredContentSize where the system has one.
    static void setContentSize(UINavigationController& navigation, CGSize size);
};

// Installs the hooks of both extensions (once).
void FLPopoverInstallControllerExtensions();
