#pragma once
// Geometry values as text, the form notification user info carries them in
// ("{{x, y}, {w, h}}", "{x, y}", "{w, h}").
#include <string>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

std::string NSStringFromCGRect(CGRect rect);
std::string NSStringFromCGPoint(CGPoint point);
std::string NSStringFromCGSize(CGSize size);
// Zero values for text that does not parse, or that holds a number that is
// not finite ("inf", "nan", "1e999").
CGRect CGRectFromString(const std::string& text);
CGPoint CGPointFromString(const std::string& text);
CGSize CGSizeFromString(const std::string& text);
// A rectangle stored in a Value (as its text).
inline Value ValueWithCGRect(CGRect rect) { return Value(NSStringFromCGRect(rect)); }
inline CGRect CGRectValue(const Value& value) { return CGRectFromString(value.stringValue()); }
