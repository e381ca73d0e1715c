#pragma once
// The overlay's own images, drawn by this code: a tick (success) and a cross
// (error), each in a thin circle, black on clear, 28 x 28 points. The PNGs
// shipped as "STProgressHUD.bundle/success-black" and "error-black" (1x and
// @2x) are these drawings; the ui tests rewrite them from here and check that
// the shipped ones match.
#include <string>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIImage.h"

inline constexpr CGFloat STProgressHUDImageSide = 28;

// The drawings at the scale (pixels per point); null for a scale the image
// context refuses.
UIImagePtr STProgressHUDDrawSuccessImage(CGFloat scale);
UIImagePtr STProgressHUDDrawErrorImage(CGFloat scale);

// The named image of the bundle; when the resource is missing or unreadable,
// the drawing itself at the screen's scale (with a console line). Loaded once
// per name. Main thread only.
UIImagePtr STProgressHUDNamedImage(const std::string& name);
