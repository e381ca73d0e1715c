#pragma once
// Paragraph settings of drawn text: alignment, line breaking and line spacing.
// A value: copy it and change the copy (the platform's mutable copy).
#include "platform/graphics/CGGeometry.h"

enum NSTextAlignment : long {
    NSTextAlignmentLeft = 0,
    NSTextAlignmentCenter = 1,
    NSTextAlignmentRight = 2,
    NSTextAlignmentJustified = 3,
    NSTextAlignmentNatural = 4,  // left, for the left-to-right texts here
};

enum NSLineBreakMode : long {
    NSLineBreakByWordWrapping = 0,  // at word boundaries (inside a word too long for a line)
    NSLineBreakByCharWrapping = 1,
    NSLineBreakByClipping = 2,      // no wrapping: lines end at the edge
    NSLineBreakByTruncatingHead = 3,
    NSLineBreakByTruncatingTail = 4,
    NSLineBreakByTruncatingMiddle = 5,
};

struct NSParagraphStyle {
    NSTextAlignment alignment = NSTextAlignmentNatural;
    NSLineBreakMode lineBreakMode = NSLineBreakByWordWrapping;
    CGFloat lineSpacing = 0;

    static const NSParagraphStyle& defaultParagraphStyle() {
        static const NSParagraphStyle style;
        return style;
    }
    bool operator==(const NSParagraphStyle&) const = default;
};
using NSMutableParagraphStyle = NSParagraphStyle;
