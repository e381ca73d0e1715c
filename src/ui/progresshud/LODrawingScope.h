#pragma once
// Makes the context a view's drawRect: draws into the current UIKit context
// for the length of the scope, so that colours, paths and text drawn with the
// UIKit helpers land in it. Empty outside drawRect:.
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIView.h"

class LODrawingScope {
public:
    LODrawingScope() : context_(UIView::currentDrawingContext()) {
        if (context_) UIGraphicsPushContext(context_);
    }
    ~LODrawingScope() {
        if (context_) UIGraphicsPopContext();
    }
    LODrawingScope(const LODrawingScope&) = delete;
    LODrawingScope& operator=(const LODrawingScope&) = delete;

    const CGContextRef& context() const { return context_; }
    explicit operator bool() const { return context_ != nullptr; }

private:
    CGContextRef context_;
};

// The colour to fill or stroke with; a null colour paints nothing.
inline CGColorRef LOColorOrClear(const UIColorPtr& color) {
    return color ? color->CGColor() : UIColor::clearColor()->CGColor();
}
