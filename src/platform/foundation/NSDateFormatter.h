#pragma once
// Dates to text and back over ICU, with a pattern (dateFormat, the Unicode
// date field symbols: "yyyy-MM-dd HH:mm") or the locale's date and time
// styles, in a locale and a time zone. New formatters take the process
// default locale (settable; else the first preferred language) and the
// default time zone (NSTimeZone::defaultTimeZone()); the Gregorian calendar.
//
// Setting dateFormat ends the styles, and setting a style ends the pattern.
// A formatter may be used from one thread at a time.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/foundation/Value.h"

enum NSDateFormatterStyle : unsigned long {
    NSDateFormatterNoStyle = 0,
    NSDateFormatterShortStyle = 1,
    NSDateFormatterMediumStyle = 2,
    NSDateFormatterLongStyle = 3,
    NSDateFormatterFullStyle = 4,
};

class NSDateFormatter : public NSObject {
public:
    NSDateFormatter();
    ~NSDateFormatter() override;

    // The locale new formatters take ("en_US", "de_DE", "en_US_POSIX"); nullopt
    // goes back to the first preferred language.
    static void setDefaultLocaleIdentifier(std::optional<std::string> identifier);
    static std::string defaultLocaleIdentifier();

    // The pattern in use (the styles' pattern when styles are set).
    std::string dateFormat() const;
    void setDateFormat(const std::string& format);
    NSDateFormatterStyle dateStyle() const { return dateStyle_; }
    NSDateFormatterStyle timeStyle() const { return timeStyle_; }
    void setDateStyle(NSDateFormatterStyle style);
    void setTimeStyle(NSDateFormatterStyle style);
    const std::string& localeIdentifier() const { return locale_; }
    void setLocaleIdentifier(const std::string& identifier);
    const NSTimeZonePtr& timeZone() const { return timeZone_; }
    // Null means the default time zone.
    void setTimeZone(NSTimeZonePtr zone);

    // Empty when the date is not finite or the formatter has no usable pattern.
    std::string stringFromDate(const Date& date) const;
    // Strict: the whole text must match the pattern; nullopt otherwise.
    std::optional<Date> dateFromString(const std::string& text) const;

private:
    struct Backing;  // the ICU formatter, made when first needed
    Backing& backing() const;
    void changed();

    std::string format_;
    NSDateFormatterStyle dateStyle_ = NSDateFormatterNoStyle;
    NSDateFormatterStyle timeStyle_ = NSDateFormatterNoStyle;
    bool usesStyles_ = false;
    std::string locale_;
    NSTimeZonePtr timeZone_;
    mutable std::mutex mutex_;
    mutable std::unique_ptr<Backing> backing_;
};
