#include "platform/foundation/NSDecimalNumber.h"

#include <cmath>
#include <limits>

namespace {

bool scaleUp(std::int64_t* mantissa, int steps) {
    for (int i = 0; i < steps; ++i) {
        if (__builtin_mul_overflow(*mantissa, std::int64_t{10}, mantissa)) return false;
    }
    return true;
}

}  // namespace

NSDecimalNumberPtr NSDecimalNumber::decimalNumberWithMantissa(std::uint64_t mantissa, int exponent, bool isNegative) {
    if (mantissa > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return nullptr;
    const auto m = static_cast<std::int64_t>(mantissa);
    return std::make_shared<NSDecimalNumber>(isNegative ? -m : m, exponent);
}

NSDecimalNumberPtr NSDecimalNumber::zero() { return std::make_shared<NSDecimalNumber>(0, 0); }
NSDecimalNumberPtr NSDecimalNumber::one() { return std::make_shared<NSDecimalNumber>(1, 0); }

NSDecimalNumberPtr NSDecimalNumber::decimalNumberByAdding(const NSDecimalNumber& other) const {
    std::int64_t a = mantissa_, b = other.mantissa_;
    const int exponent = std::min(exponent_, other.exponent_);
    if (!scaleUp(&a, exponent_ - exponent) || !scaleUp(&b, other.exponent_ - exponent)) return nullptr;
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return nullptr;
    return std::make_shared<NSDecimalNumber>(sum, exponent);
}

std::int64_t NSDecimalNumber::integerValue() const {
    std::int64_t m = mantissa_;
    if (exponent_ >= 0) {
        if (!scaleUp(&m, exponent_)) return m < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
        return m;
    }
    for (int i = 0; i < -exponent_ && m != 0; ++i) m /= 10;
    return m;
}

double NSDecimalNumber::doubleValue() const { return static_cast<double>(mantissa_) * std::pow(10.0, exponent_); }

bool NSDecimalNumber::isEqual(const NSDecimalNumber& other) const {
    auto difference = decimalNumberByAdding(NSDecimalNumber(-other.mantissa_, other.exponent_));
    return difference && difference->mantissa_ == 0;
}

std::string NSDecimalNumber::stringValue() const {
    const bool negative = mantissa_ < 0;
    std::string digits = std::to_string(mantissa_);
    if (negative) digits.erase(0, 1);
    if (exponent_ >= 0) {
        if (mantissa_ != 0) digits.append(static_cast<std::size_t>(exponent_), '0');
    } else {
        const auto places = static_cast<std::size_t>(-exponent_);
        if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
        digits.insert(digits.size() - places, ".");
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    return (negative && digits != "0" ? "-" : "") + digits;
}
