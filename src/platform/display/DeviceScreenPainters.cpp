#include "platform/display/DeviceScreenPainters.h"

#include <algorithm>

#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/NSStringDrawing.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIWindow.h"

namespace {

using Colors = DeviceOverlayColors;

void fillRect(const CGContextRef& c, CGRect rect, double r, double g, double b, double a) {
    CGContextSetRGBFillColor(c, r, g, b, a);
    CGContextFillRect(c, rect);
}

void fillRoundedRect(const CGContextRef& c, CGRect rect, CGFloat radius, double r, double g, double b) {
    CGContextBeginPath(c);
    CAContextAddRoundedRect(c, rect, radius);
    CGContextSetRGBFillColor(c, r, g, b, 1);
    CGContextFillPath(c);
}

void dim(const CGContextRef& c, CGSize interface) {
    fillRect(c, CGRectMake(0, 0, interface.width, interface.height), 0, 0, 0, Colors::dimAlpha);
}

// Text centred in the rectangle, its lines wrapped to the rectangle's width.
// Needs a pushed UIKit context.
void drawCentred(const std::string& text, CGRect rect, const UIFontPtr& font, const UIColorPtr& color) {
    NSParagraphStyle centred;
    centred.alignment = NSTextAlignmentCenter;
    const NSAttributes style(font, color, centred);
    const CGFloat height = boundingRectWithSize(text, CGSizeMake(rect.size.width, 0),
                                                NSStringDrawingUsesLineFragmentOrigin, style).size.height;
    drawInRect(text, CGRectMake(rect.origin.x, rect.origin.y + (rect.size.height - height) / 2, rect.size.width, height),
               style);
}

UIColorPtr tint() { return UIColor::colorWithRed(Colors::tint[0], Colors::tint[1], Colors::tint[2], 1); }

// Title (bold) and message centred in their frame, each button's title centred
// in its cell (the cancel button's in bold).
void paintAlertTexts(const DeviceAlertLayout& alert, const CGContextRef& c) {
    if (!alert.alert) return;
    UIGraphicsPushContext(c);
    NSParagraphStyle centred;
    centred.alignment = NSTextAlignmentCenter;
    const auto ink = UIColor::colorWithWhite(0.05, 1);
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
        const bool bold = button.role == DeviceButtonRole::Cancel;
        drawCentred(button.title, button.frame, bold ? UIFont::boldSystemFontOfSize(17) : UIFont::systemFontOfSize(17),
                    tint());
    }
    UIGraphicsPopContext();
}

void separator(const CGContextRef& c, CGRect line) {
    const double grey = 0.8;
    fillRect(c, line, grey, grey, grey, 1);
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

void DevicePaintKeyboard(const DeviceKeyboardLayout& keyboard, const CGContextRef& c, CGSize /*interface*/) {
    fillRect(c, keyboard.frame, Colors::keyboard[0], Colors::keyboard[1], Colors::keyboard[2], 1);
    UIGraphicsPushContext(c);
    const auto ink = UIColor::colorWithWhite(0.1, 1);
    for (const auto& key : keyboard.keys) {
        const bool letter = key.kind == DeviceKeyKind::Character;
        const double cap = letter || key.kind == DeviceKeyKind::Space ? Colors::keyCap : 0.68;
        fillRoundedRect(c, key.frame, 5, cap, cap, cap);
        drawCentred(key.label, key.frame, UIFont::systemFontOfSize(letter ? 20 : 12), ink);
    }
    UIGraphicsPopContext();
}

void DevicePaintSheet(const DeviceSheetLayout& sheet, const CGContextRef& c, CGSize interface) {
    dim(c, interface);
    for (const CGRect panel : {sheet.mainPanel, sheet.cancelPanel})
        if (!CGRectIsEmpty(panel)) fillRoundedRect(c, panel, 6, Colors::panel, Colors::panel, Colors::panel);
    UIGraphicsPushContext(c);
    if (!CGRectIsEmpty(sheet.titleFrame))
        drawCentred(sheet.sheet->title(), CGRectInset(sheet.titleFrame, kDeviceSheetTitleInset, 0),
                    UIFont::systemFontOfSize(kDeviceSheetTitleFontSize), UIColor::colorWithWhite(0.56, 1));
    const auto destructive =
        UIColor::colorWithRed(Colors::destructive[0], Colors::destructive[1], Colors::destructive[2], 1);
    for (const auto& button : sheet.buttons) {
        const bool cancel = button.role == DeviceButtonRole::Cancel;
        // A line above every button that follows something in its panel.
        if (!cancel && (button.frame.origin.y > sheet.mainPanel.origin.y))
            separator(c, CGRectMake(button.frame.origin.x, button.frame.origin.y, button.frame.size.width, 0.5));
        drawCentred(button.title, button.frame,
                    cancel ? UIFont::boldSystemFontOfSize(20) : UIFont::systemFontOfSize(20),
                    button.role == DeviceButtonRole::Destructive ? destructive : tint());
    }
    UIGraphicsPopContext();
}

void DevicePaintAlert(const DeviceAlertLayout& alert, const CGContextRef& c, CGSize interface) {
    dim(c, interface);
    fillRect(c, alert.frame, Colors::panel, Colors::panel, Colors::panel, 1);
    paintAlertTexts(alert, c);
    for (const auto& button : alert.buttons) {
        separator(c, CGRectMake(button.frame.origin.x, button.frame.origin.y, button.frame.size.width, 0.5));
        if (button.frame.origin.x > alert.frame.origin.x)
            separator(c, CGRectMake(button.frame.origin.x, button.frame.origin.y, 0.5, button.frame.size.height));
    }
}

void DevicePaintStatusBar(const CGContextRef& c, CGSize interface) {
    const bool light = UIApplication::sharedApplication()->statusBarStyle() == UIStatusBarStyleLightContent;
    const double ink = light ? 1 : 0;
    CGContextSetRGBFillColor(c, ink, ink, ink, 1);
    for (int i = 0; i < 5; ++i) {
        CGContextAddEllipseInRect(c, CGRectMake(6 + 7 * i, 7.5, 5.5, 5.5));
        CGContextFillPath(c);
    }
    const CGRect battery = CGRectMake(interface.width - 31, 6, 24, 9);
    CGContextSetRGBStrokeColor(c, ink, ink, ink, 1);
    CGContextSetLineWidth(c, 1);
    CGContextStrokeRect(c, CGRectInset(battery, 0.5, 0.5));
    CGContextFillRect(c, CGRectInset(battery, 2, 2));
    CGContextFillRect(c, CGRectMake(battery.origin.x + battery.size.width, 9, 1.5, 3));
}

DeviceScreenPainters DeviceScreenPainters::defaults() {
    return {DevicePaintViewTree, DevicePaintKeyboard, DevicePaintSheet, DevicePaintAlert, DevicePaintStatusBar};
}
