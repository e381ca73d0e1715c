#include "platform/foundation/NSLog.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>

#include "platform/foundation/ProcessLifetime.h"

namespace {
std::mutex& logMutex() {
    static ProcessLifetime<std::mutex> m;
    return *m;
}
LogHook& hook() {
    static ProcessLifetime<LogHook> h;
    return *h;
}
}  // namespace

std::string stringWithFormat(std::string_view fmt, const std::vector<FormatArg>& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // flags, width, precision, length, conversion
        std::size_t j = i + 1;
        std::string spec = "%";
        while (j < fmt.size() && std::string_view("-+ #0").find(fmt[j]) != std::string_view::npos) spec += fmt[j++];
        while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j]))) spec += fmt[j++];
        if (j < fmt.size() && fmt[j] == '.') {
            spec += fmt[j++];
            while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j]))) spec += fmt[j++];
        }
        while (j < fmt.size() && std::string_view("hlqLzjt").find(fmt[j]) != std::string_view::npos) ++j;
        if (j >= fmt.size()) {
            out.append(fmt.substr(i));
            break;
        }
        char conv = fmt[j];
        Value arg = next < args.size() ? args[next].value() : Value();
        ++next;
        char buf[512];
        switch (conv) {
        case '@': out += arg.description(); break;
        case 's': out += arg.isNull() ? "(null)" : arg.stringValue(); break;
        case 'd':
        case 'i':
            std::snprintf(buf, sizeof buf, (spec + "lld").c_str(), static_cast<long long>(arg.integerValue()));
            out += buf;
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            unsigned long long u = arg.type() == Value::Type::Integer
                                       ? static_cast<unsigned long long>(arg.integerValue())
                                       : static_cast<unsigned long long>(arg.unsignedLongLongValue());
            // A plain %x/%X of a 32-bit argument prints 32 bits, as the C formats do.
            if ((conv == 'x' || conv == 'X') && arg.type() == Value::Type::Integer && arg.integerValue() < 0 &&
                arg.integerValue() >= INT32_MIN)
                u &= 0xffffffffull;
            std::snprintf(buf, sizeof buf, (spec + "ll" + conv).c_str(), u);
            out += buf;
            break;
        }
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'e':
        case 'E':
            std::snprintf(buf, sizeof buf, (spec + conv).c_str(), arg.doubleValue());
            out += buf;
            break;
        case 'c': out += static_cast<char>(arg.integerValue()); break;
        case 'p': {
            auto o = arg.object();
            std::snprintf(buf, sizeof buf, "%p", static_cast<const void*>(o.get()));
            out += buf;
            break;
        }
        default: out.append(fmt.substr(i, j - i + 1)); break;
        }
        i = j;
    }
    return out;
}

void NSLogLine(const std::string& line) {
    std::lock_guard lock(logMutex());
    if (hook()) {
        hook()(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void setLogHook(LogHook h) {
    std::lock_guard lock(logMutex());
    hook() = std::move(h);
}
