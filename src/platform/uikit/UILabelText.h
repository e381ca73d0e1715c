#pragma once
// The text engine labels draw and measure with by default: the label's font,
// colour, alignment, line break and number of lines, laid out with the shipped
// fonts. Tests may swap in another through UILabel::setTextEngine; setting
// null hooks puts this one back.
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"

class UILabel;

void UILabelDrawText(const UILabel& label, const CGContextRef& ctx, CGRect rect);
CGSize UILabelMeasureText(const UILabel& label, CGSize limits);
