#include "platform/display/DeviceScreenPainters.h"

#include <algorithm>

#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIWindow.h"

namespace {

void fillRect(const CGContextRef& c, CGRect rect, double r, double g, double b, double a) {
    CGContextSetRGBFillColor(c, r, g, b, a);
    CGContextFillRect(c, rect);
}

// Title (bold) and message centred in their frame, each button's title centred
// in its cell (the last one, the cancel button when there is one, in bold).
void paintAlertTexts(const DeviceAlertLayout& alert, const CGContextRef& c) {
    if (!alert.alert) return;
    UIGraphicsPushContext(c);
    NSParagraphStyle centred;
    centred.alignment = NSTextAlignmentCenter;
    const auto ink = UIColor::colorWithWhite(0.05, 1);
    const auto tint = UIColor::colorWithRed(0, 0.478, 1, 1);
    const CGRect text = CGRectInset(alert.messageFrame, 12, 8);
    const NSAttributes titleStyle(UIFont::boldSystemFontOfSize(17), ink, centred);
    const NSAttributes messageStyle(UIFont::systemFontOfSize(13), ink, centred);
    const CGFloat titleHeight =
        boundingRectWithSize(alert.alert->title(), CGSizeMake(text.size.width, 0), NSStringDrawingUsesLineFragmentOrigin,
                             titleStyle, nullptr).size.height;
    drawInRect(alert.alert->title(), CGRectMake(text.origin.x, text.origin.y, text.size.width, titleHeight), titleStyle);
    drawInRect(alert.alert->message(),
               CGRectMake(text.origin.x, text.origin.y + titleHeight + 4, text.size.width,
                          std::max<CGFloat>(0, text.size.height - titleHeight - 4)),
               messageStyle);
    for (const auto& button : alert.buttons) {
        const bool bold = button.index == alert.alert->cancelButtonIndex();
        const NSAttributes style(bold ? UIFont::boldSystemFontOfSize(17) : UIFont::systemFontOfSize(17), tint, centred);
        const CGFloat height = sizeWithAttributes(button.title, style).height;
        drawInRect(button.title,
                   CGRectMake(button.frame.origin.x, button.frame.origin.y + (button.frame.size.height - height) / 2,
                              button.frame.size.width, height),
                   style);
    }
    UIGraphicsPopContext();
}

}  // namespace

void DevicePaintViewTree(UIWindow& window, const CGContextRef& context) {
    // The window's layer tree, laid out and drawn as the end of a main-loop pass
    // leaves it; the window's own frame places it on the screen.
    window.layoutAndDisplayIfNeeded();
    const CGRect frame = window.frame();
    CGContextSaveGState(context);
    CGContextTranslateCTM(context, frame.origin.x, frame.origin.y);
    window.layer()->renderInContext(context);
    CGContextRestoreGState(context);
}


void DevicePaintAlert(const DeviceAlertLayout& alert, const CGContextRef& c, CGSize screen) {
    fillRect(c, CGRectMake(0, 0, screen.width, screen.height), 0, 0, 0, 0.4);
    fillRect(c, alert.frame, 0.97, 0.97, 0.97, 1);
    paintAlertTexts(alert, c);
    const double separator = 0.8;
    for (const auto& button : alert.buttons) {
        CGRect line = CGRectMake(button.frame.origin.x, button.frame.origin.y, button.frame.size.width, 0.5);
        fillRect(c, line, separator, separator, separator, 1);
        if (button.frame.origin.x > alert.frame.origin.x)
            fillRect(c, CGRectMake(button.frame.origin.x, button.frame.origin.y, 0.5, button.frame.size.height),
                     separator, separator, separator, 1);
    }
}

void DevicePaintStatusBar(const CGContextRef& c, CGSize screen) {
    const bool light = UIApplication::sharedApplication()->statusBarStyle() == UIStatusBarStyleLightContent;
    const double ink = light ? 1 : 0;
    CGContextSetRGBFillColor(c, ink, ink, ink, 1);
    for (int i = 0; i < 5; ++i) {
        CGContextAddEllipseInRect(c, CGRectMake(6 + 7 * i, 7.5, 5.5, 5.5));
        CGContextFillPath(c);
    }
    const CGRect battery = CGRectMake(screen.width - 31, 6, 24, 9);
    CGContextSetRGBStrokeColor(c, ink, ink, ink, 1);
    CGContextSetLineWidth(c, 1);
    CGContextStrokeRect(c, CGRectInset(battery, 0.5, 0.5));
    CGContextFillRect(c, CGRectInset(battery, 2, 2));
    CGContextFillRect(c, CGRectMake(battery.origin.x + battery.size.width, 9, 1.5, 3));
}

DeviceScreenPainters DeviceScreenPainters::defaults() {
    return {DevicePaintViewTree, DevicePaintAlert, DevicePaintStatusBar};
}
