#include "FaultMode.h"

#include <array>
#include <charconv>
#include <utility>

namespace catalogue {

namespace {

constexpr std::array<std::pair<std::string_view, Fault>, 7> kFaults{{
    {"http500", Fault::Http500},
    {"badbase64", Fault::BadBase64},
    {"wrongkey", Fault::WrongKey},
    {"lowercase", Fault::LowerCase},
    {"scalar", Fault::Scalar},
    {"empty", Fault::Empty},
    {"wrapped", Fault::Wrapped},
}};

constexpr long kLongestDelayMs = 600000;

std::optional<long> parseMilliseconds(std::string_view text) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > kLongestDelayMs)
        return std::nullopt;
    return value;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<FaultPlan> parseFaultPlan(std::string_view list, std::string_view delayMs, std::string& error) {
    FaultPlan plan;
    bool delayNamed = false;
    std::optional<long> namedDelay;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view item = trim(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (item.empty() || item == "none") continue;

        if (item == "delay" || item.starts_with("delay:")) {
            delayNamed = true;
            if (item.size() > 6) {
                namedDelay = parseMilliseconds(item.substr(6));
                if (!namedDelay) {
                    error = "bad delay in fault \"" + std::string(item) + "\"";
                    return std::nullopt;
                }
            }
            continue;
        }
        Fault found = Fault::None;
        for (const auto& [name, fault] : kFaults)
            if (item == name) found = fault;
        if (found == Fault::None) {
            error = "unknown fault \"" + std::string(item) + "\"";
            return std::nullopt;
        }
        if (plan.fault != Fault::None && plan.fault != found) {
            error = "more than one reply fault requested";
            return std::nullopt;
        }
        plan.fault = found;
    }

    if (delayNamed) {
        long milliseconds = kDefaultFaultDelay.count();
        if (namedDelay) {
            milliseconds = *namedDelay;
        } else if (!trim(delayMs).empty()) {
            const auto parsed = parseMilliseconds(trim(delayMs));
            if (!parsed) {
                error = "bad delay_ms \"" + std::string(delayMs) + "\"";
                return std::nullopt;
            }
            milliseconds = *parsed;
        }
        plan.delay = std::chrono::milliseconds(milliseconds);
    }
    return plan;
}

std::string_view faultName(Fault fault) {
    for (const auto& [name, value] : kFaults)
        if (value == fault) return name;
    return "none";
}

}  // namespace catalogue
