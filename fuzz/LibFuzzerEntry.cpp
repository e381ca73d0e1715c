// The libFuzzer entry of one harness (compiled once per harness with
// QUORVANE_FUZZ_HARNESS naming it). A broken promise aborts, so libFuzzer keeps
// the input as a crash.
#include <cstdio>
#include <cstdlib>

#include "Harnesses.h"
#include "support/FuzzSupport.h"

#ifndef QUORVANE_FUZZ_HARNESS
#error "QUORVANE_FUZZ_HARNESS names the harness this program runs"
#endif

namespace fuzz {

void fail(const std::string& what) {
    std::fprintf(stderr, "==fuzz== broken promise: %s\n", what.c_str());
    std::abort();
}

}  // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::QUORVANE_FUZZ_HARNESS::fuzzOne(data, size);
}
