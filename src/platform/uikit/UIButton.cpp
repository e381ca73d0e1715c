#include "platform/uikit/UIButton.h"

void UIButton::setImage(UIImagePtr image, UIControlState state) {
    if (image) images_[state] = std::move(image);
    else images_.erase(state);
    setNeedsLayout();
}

UIImagePtr UIButton::imageForState(UIControlState state) const { return lookup(images_, state); }

void UIButton::setBackgroundImage(UIImagePtr image, UIControlState state) {
    if (image) backgroundImages_[state] = std::move(image);
    else backgroundImages_.erase(state);
    setNeedsLayout();
}

UIImagePtr UIButton::backgroundImageForState(UIControlState state) const { return lookup(backgroundImages_, state); }

UIImagePtr UIButton::lookup(const std::map<UIControlState, UIImagePtr>& images, UIControlState state) {
    if (auto it = images.find(state); it != images.end()) return it->second;
    if (auto it = images.find(UIControlStateNormal); it != images.end()) return it->second;
    return nullptr;
}
