// Date formatters over ICU's SimpleDateFormat.
#include <unicode/datefmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>

#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"

struct NSDateFormatter::Backing {
    std::unique_ptr<icu::DateFormat> format;  // null when the settings make none
};

namespace {

std::mutex gLocaleMutex;
std::optional<std::string> gDefaultLocale;

icu::DateFormat::EStyle icuStyle(NSDateFormatterStyle style) {
    switch (style) {
    case NSDateFormatterShortStyle: return icu::DateFormat::kShort;
    case NSDateFormatterMediumStyle: return icu::DateFormat::kMedium;
    case NSDateFormatterLongStyle: return icu::DateFormat::kLong;
    case NSDateFormatterFullStyle: return icu::DateFormat::kFull;
    case NSDateFormatterNoStyle: break;
    }
    return icu::DateFormat::kNone;
}

std::string utf8(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

}  // namespace

void NSDateFormatter::setDefaultLocaleIdentifier(std::optional<std::string> identifier) {
    std::lock_guard lock(gLocaleMutex);
    gDefaultLocale = std::move(identifier);
}

std::string NSDateFormatter::defaultLocaleIdentifier() {
    {
        std::lock_guard lock(gLocaleMutex);
        if (gDefaultLocale) return *gDefaultLocale;
    }
    return stringByReplacingOccurrencesOfString(NSLocale::preferredLanguages().front(), "-", "_");
}

NSDateFormatter::NSDateFormatter() : locale_(defaultLocaleIdentifier()), timeZone_(NSTimeZone::defaultTimeZone()) {}
NSDateFormatter::~NSDateFormatter() = default;

void NSDateFormatter::changed() { backing_.reset(); }

void NSDateFormatter::setDateFormat(const std::string& format) {
    std::lock_guard lock(mutex_);
    format_ = format;
    usesStyles_ = false;
    dateStyle_ = timeStyle_ = NSDateFormatterNoStyle;
    changed();
}

void NSDateFormatter::setDateStyle(NSDateFormatterStyle style) {
    std::lock_guard lock(mutex_);
    dateStyle_ = style;
    usesStyles_ = true;
    changed();
}

void NSDateFormatter::setTimeStyle(NSDateFormatterStyle style) {
    std::lock_guard lock(mutex_);
    timeStyle_ = style;
    usesStyles_ = true;
    changed();
}

void NSDateFormatter::setLocaleIdentifier(const std::string& identifier) {
    std::lock_guard lock(mutex_);
    locale_ = identifier;
    changed();
}

void NSDateFormatter::setTimeZone(NSTimeZonePtr zone) {
    std::lock_guard lock(mutex_);
    timeZone_ = zone ? std::move(zone) : NSTimeZone::defaultTimeZone();
    changed();
}

NSDateFormatter::Backing& NSDateFormatter::backing() const {
    if (backing_) return *backing_;
    backing_ = std::make_unique<Backing>();
    icu::Locale locale = icu::Locale::createCanonical((locale_ + "@calendar=gregorian").c_str());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateFormat> f;
    if (usesStyles_) {
        if (dateStyle_ == NSDateFormatterNoStyle && timeStyle_ == NSDateFormatterNoStyle) return *backing_;
        f.reset(icu::DateFormat::createDateTimeInstance(icuStyle(dateStyle_), icuStyle(timeStyle_), locale));
    } else {
        f = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(format_), locale, status);
    }
    if (!f || U_FAILURE(status)) {
        NSLog("NSDateFormatter: the pattern \"%s\" in %s gives no formatter (%s)", format_, locale_,
              u_errorName(status));
        return *backing_;
    }
    f->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZone_->name())));
    f->setLenient(false);
    backing_->format = std::move(f);
    return *backing_;
}

std::string NSDateFormatter::dateFormat() const {
    std::lock_guard lock(mutex_);
    if (!usesStyles_) return format_;
    auto* simple = dynamic_cast<icu::SimpleDateFormat*>(backing().format.get());
    if (!simple) return {};
    icu::UnicodeString pattern;
    simple->toPattern(pattern);
    return utf8(pattern);
}

std::string NSDateFormatter::stringFromDate(const Date& date) const {
    std::lock_guard lock(mutex_);
    const auto& f = backing().format;
    if (!f || !std::isfinite(date.secondsSince1970)) return {};
    icu::UnicodeString out;
    f->format(date.secondsSince1970 * 1000.0, out);
    return utf8(out);
}

std::optional<Date> NSDateFormatter::dateFromString(const std::string& text) const {
    std::lock_guard lock(mutex_);
    const auto& f = backing().format;
    if (!f) return std::nullopt;
    icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
    icu::ParsePosition position(0);
    UDate parsed = f->parse(input, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != input.length()) return std::nullopt;
    return Date{parsed / 1000.0};
}
