#pragma once
// Exact decimal numbers: a signed 64-bit mantissa and a base-10 exponent,
// immutable and shared by reference like the platform's number objects. Kept in
// a Value as an object (Value::objectAs<NSDecimalNumber>()), so a decimal stays
// distinct from the other numbers. Arithmetic that would leave 64 bits answers
// nullptr instead of a wrong value.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSDecimalNumber;
using NSDecimalNumberPtr = std::shared_ptr<NSDecimalNumber>;

class NSDecimalNumber : public NSObject {
public:
    NSDecimalNumber(std::int64_t mantissa, int exponent) : mantissa_(mantissa), exponent_(exponent) {}
    static NSDecimalNumberPtr decimalNumberWithMantissa(std::uint64_t mantissa, int exponent, bool isNegative);
    static NSDecimalNumberPtr zero();
    static NSDecimalNumberPtr one();

    std::int64_t mantissa() const { return mantissa_; }
    int exponent() const { return exponent_; }
    NSDecimalNumberPtr decimalNumberByAdding(const NSDecimalNumber& other) const;
    // Truncated toward zero; saturates at the 64-bit limits.
    std::int64_t integerValue() const;
    double doubleValue() const;
    bool isEqual(const NSDecimalNumber& other) const;
    // Plain decimal text: "-1", "12", "0.25".
    std::string stringValue() const;
    std::string description() const override { return stringValue(); }

    // The decimal held by a Value, or nullptr when the value holds something else.
    static NSDecimalNumberPtr fromValue(const Value& value) { return value.objectAs<NSDecimalNumber>(); }

private:
    std::int64_t mantissa_;
    int exponent_;
};
