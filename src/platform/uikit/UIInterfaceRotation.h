#pragma once
// The interface following the device. When the device turns to a portrait or
// landscape orientation (UIDevice::setOrientation, which the device screen's
// rotate calls) and that differs from the status bar's, the key window's root
// controller and the top controller presented in the window are asked
// shouldAutorotate, whether supportedInterfaceOrientations holds the
// orientation and shouldAutorotateToInterfaceOrientation; every answer must
// allow it. Then, in order:
//   1. willRotateToInterfaceOrientation(orientation, 0.3 s, or 0 unanimated) to
//      the root and down the visible controllers: a container's visible children
//      (a tab bar's selected tab, a navigation controller's top) and what each
//      of them presents;
//   2. the status bar takes the orientation (its will/did-change notifications);
//   3. full-screen windows (those as large as the screen was) take the screen's
//      bounds in the new orientation (568 x 320 points on a phone in landscape,
//      whatever the system version), their root views and presented views fill
//      them again (a sheet stays centred over its dimming view) and are laid out;
//   4. didRotateFromInterfaceOrientation(old orientation) to the same
//      controllers, at once unanimated, on the next main-loop pass animated.
// A refused rotation changes nothing. Face-up, face-down and unknown device
// orientations leave the interface as it is.
//
// Coordinates: windows therefore always work in the interface's own
// coordinates (kWindowsTakeInterfaceCoordinates): a view placed straight in a
// window needs no turn of its own. The screen-coordinate frames of the status
// bar and the keyboard follow the interface only from system 8.0 on
// (UIScreenBoundsFollowOrientation); interfaceRectForScreenRect brings them
// into the interface's coordinates on every system.
//
// Main thread only (a turn reported on another thread is carried out on the main queue).
#include <memory>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"

class UIViewController;
class UIWindow;

class UIInterfaceRotation {
public:
    static constexpr double kDuration = 0.3;
    // Windows take the interface's bounds on every system version (step 3 above).
    static constexpr bool kWindowsTakeInterfaceCoordinates = true;

    // Turns the key window's interface to the orientation when its controllers
    // allow it; true when it turned.
    static bool rotateToInterfaceOrientation(UIInterfaceOrientation orientation, bool animated);
    // UIDevice tells this after each change of its orientation.
    static void deviceDidChangeOrientation(UIDeviceOrientation orientation);
    // The interface orientation a device orientation stands for (Unknown for
    // face up, face down and unknown).
    static UIInterfaceOrientation interfaceOrientationForDevice(UIDeviceOrientation orientation);
    // The main screen's bounds in an interface orientation (width and height
    // swapped in landscape).
    static CGRect screenBoundsForInterfaceOrientation(UIInterfaceOrientation orientation);
    // A rectangle in screen coordinates (a keyboard's or the status bar's
    // frame) in the coordinates of the interface in the orientation: as it is
    // from system 8.0 on; before, turned from the portrait screen's fixed
    // coordinates (upside down mirrored, landscape a quarter turn).
    static CGRect interfaceRectForScreenRect(CGRect rect, UIInterfaceOrientation orientation);
    // A rectangle of a space that keeps portrait coordinates (portrait: its
    // size) in the interface's: upside down mirrored, landscape a quarter turn.
    static CGRect interfaceRectForPortraitRect(CGRect rect, CGSize portrait, UIInterfaceOrientation orientation);

    // Whether the controllers that decide allow the orientation.
    static bool allows(UIViewController& root, UIInterfaceOrientation orientation);
    // The controllers told of a rotation, the root first, in the order they are told.
    static std::vector<std::shared_ptr<UIViewController>> visibleControllers(
        const std::shared_ptr<UIViewController>& root);
    // Every controller of the window's hierarchy: the root, all children and
    // everything presented from any of them.
    static std::vector<std::shared_ptr<UIViewController>> allControllers(const UIWindow& window);
    // The window's root view and its presented views placed for its bounds and laid out.
    static void layoutWindow(UIWindow& window);
};
