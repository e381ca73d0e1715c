#include "platform/foundation/LifecycleMove.h"

#include <cassert>
#include <string>

#include "platform/foundation/NSLog.h"

bool checkLifecycleMove(bool allowed, bool trace, std::string_view subject, std::string_view detail,
                        const char* from, const char* to, const char* rule) noexcept {
#ifndef NDEBUG
    try {
        std::string line(subject);
        if (!detail.empty()) line.append(" ").append(detail);
        if (trace) NSLogLine(line + ": " + from + " -> " + to);
        if (!allowed) NSLogLine(line + ": " + rule + " (" + from + " -> " + to + ")");
    } catch (...) {
        // The trace line is lost; the move is not.
    }
    assert(allowed && "a lifecycle moves only along its allowed moves");
#else
    (void)trace, (void)subject, (void)detail, (void)from, (void)to, (void)rule;
#endif
    return allowed;
}
