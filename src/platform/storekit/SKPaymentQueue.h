#pragma once
// Whether the user may make payments. A settable stand-in (yes by default).
class SKPaymentQueue {
public:
    static bool canMakePayments();
    static void setCanMakePayments(bool allowed);
};
