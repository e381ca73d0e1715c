#pragma once
// The web engine's processes this test process started itself (its direct
// children), read from /proc: tests check that views start (or end) them.
#include <cstddef>

namespace testsupport {

// Children of this process whose name holds "WebProcess".
std::size_t webProcessCount();

}  // namespace testsupport
