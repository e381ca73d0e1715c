#pragma once
// A download's progress as a ring: a thin background circle, a thicker arc
// growing clockwise from the top as progress goes from 0 to 1, and an icon in
// the middle: a downward arrow while idle (progress 0 or below), a stop square
// while running, a tick when done (the background then fills with the stroke
// colour over 0.5 s), or an icon of the owner's choosing. It can also spin its
// background circle (drawn with a gap) as an indeterminate indicator.
//
// Drawing goes through three shape layers (background, progress, icon, in
// that order on the view's layer); their paths are set in the view's display
// pass, so a change shows after setNeedsDisplay (setProgress asks for it).
// The arc is drawn for progress clamped to 0...1 (not a number: 0) and every
// radius stays at 0 or above, however small the view; the stored progress is
// kept as given (at most 1).
//
// Main thread only.
#include <memory>

#include "platform/foundation/Value.h"
#include "platform/quartzcore/CAShapeLayer.h"
#include "platform/uikit/UIBezierPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"

class CPCircularProgressView : public UIView {
public:
    explicit CPCircularProgressView(CGRect frame = CGRectZero);
    // A view from an interface file's archive: its "frame" (as "{{x, y}, {w, h}}").
    static std::shared_ptr<CPCircularProgressView> initWithCoder(const Value& archive);

    // 0...1; values above 1 are stored as 1 (no lower clamp).
    double progress() const { return progress_; }
    void setProgress(double progress);
    // The background circle's and icon's stroke width (at least 1); the arc is twice as wide.
    CGFloat lineWidth() const { return lineWidth_; }
    void setLineWidth(CGFloat lineWidth);
    // Stroke of all three layers (this view's own, not the inherited tint).
    const UIColorPtr& tintColor() const { return tintColor_; }
    void setTintColor(UIColorPtr color);
    const UIColorPtr& tickColor() const { return tickColor_; }
    void setTickColor(UIColorPtr color) { tickColor_ = std::move(color); }
    // Shown as a subview in every state; while set, the arrow is not drawn.
    const std::shared_ptr<UIView>& iconView() const { return iconView_; }
    void setIconView(std::shared_ptr<UIView> view);
    // Drawn in the icon layer while idle (from the next redraw).
    const UIBezierPathPtr& iconPath() const { return iconPath_; }
    void setIconPath(UIBezierPathPtr path) { iconPath_ = std::move(path); }
    // Hides the arrow and the stop square (not the tick).
    bool hideProgressIcons() const { return hideProgressIcons_; }
    void setHideProgressIcons(bool hide) { hideProgressIcons_ = hide; }

    const CAShapeLayerPtr& progressBackgroundLayer() const { return progressBackgroundLayer_; }
    void setProgressBackgroundLayer(CAShapeLayerPtr layer) { progressBackgroundLayer_ = std::move(layer); }
    const CAShapeLayerPtr& progressLayer() const { return progressLayer_; }
    void setProgressLayer(CAShapeLayerPtr layer) { progressLayer_ = std::move(layer); }
    const CAShapeLayerPtr& iconLayer() const { return iconLayer_; }
    void setIconLayer(CAShapeLayerPtr layer) { iconLayer_ = std::move(layer); }

    bool isSpinning() const { return isSpinning_; }
    void setIsSpinning(bool spinning) { isSpinning_ = spinning; }
    // Spins the background circle (with its gap) under "rotationAnimation".
    void startSpinProgressBackgroundLayer();
    // The full circle again; every animation of the background layer removed.
    void stopSpinProgressBackgroundLayer();

    void drawRect(CGRect rect) override;
    void drawBackgroundCircle(bool partial);
    void drawTick();
    void drawStop();
    void drawArrow();
    void animateProgressBackgroundLayerFillColor();

private:
    void setup();

    double progress_ = 0;
    CGFloat lineWidth_ = 1;
    UIColorPtr tintColor_;
    UIColorPtr tickColor_;
    std::shared_ptr<UIView> iconView_;
    UIBezierPathPtr iconPath_;
    bool hideProgressIcons_ = false;
    CAShapeLayerPtr progressBackgroundLayer_;
    CAShapeLayerPtr progressLayer_;
    CAShapeLayerPtr iconLayer_;
    bool isSpinning_ = false;
};
