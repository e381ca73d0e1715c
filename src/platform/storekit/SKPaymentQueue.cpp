#include "platform/storekit/SKPaymentQueue.h"

#include <atomic>

namespace {
std::atomic<bool> allowed{true};
}

bool SKPaymentQueue::canMakePayments() { return allowed.load(); }
void SKPaymentQueue::setCanMakePayments(bool value) { allowed.store(value); }
