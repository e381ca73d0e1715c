#pragma once
// Console lines and the platform's format strings.
//
// stringWithFormat understands %@ (description of any argument), %d %i %u %ld
// %lu %lld %llu %zd %zu, %f %.Nf %g %e, %x %X with flags and widths (%02X), %s,
// %c, %p and %%. Missing arguments print as "(null)" for %@ and 0 otherwise.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class FormatArg {
public:
    FormatArg(const Value& v) : value_(v) {}
    FormatArg(const std::string& s) : value_(s) {}
    FormatArg(std::string_view s) : value_(s) {}
    FormatArg(const char* s) : value_(s ? Value(s) : Value()) {}
    FormatArg(bool b) : value_(static_cast<std::int64_t>(b)) {}
    FormatArg(int i) : value_(i) {}
    FormatArg(long i) : value_(i) {}
    FormatArg(long long i) : value_(i) {}
    FormatArg(unsigned i) : value_(i) {}
    FormatArg(unsigned long i) : value_(i) {}
    FormatArg(unsigned long long i) : value_(i) {}
    FormatArg(double d) : value_(d) {}
    FormatArg(float d) : value_(static_cast<double>(d)) {}
    template <class T, class = std::enable_if_t<std::is_base_of_v<NSObject, T>>>
    FormatArg(const std::shared_ptr<T>& o) : value_(o ? Value(std::static_pointer_cast<NSObject>(o)) : Value()) {}
    FormatArg(std::nullptr_t) {}
    const Value& value() const { return value_; }

private:
    Value value_;
};

std::string stringWithFormat(std::string_view format, const std::vector<FormatArg>& args);

template <class... Args>
std::string format(std::string_view fmt, const Args&... args) {
    return stringWithFormat(fmt, std::vector<FormatArg>{FormatArg(args)...});
}

// Writes one console line (to standard error, and to the capture hook when set).
void NSLogLine(const std::string& line);
template <class... Args>
void NSLog(std::string_view fmt, const Args&... args) {
    NSLogLine(format(fmt, args...));
}

// Tests capture console lines through this hook (null restores the default).
using LogHook = std::function<void(const std::string&)>;
void setLogHook(LogHook hook);
