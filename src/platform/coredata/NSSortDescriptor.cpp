#include "platform/coredata/NSSortDescriptor.h"

int NSSortDescriptor::compareValues(const Value& a, const Value& b) const {
    int c = 0;
    if (a.isNull() || b.isNull()) {
        c = a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    } else if (a.isNumber() && b.isNumber()) {
        c = a.compare(b);
    } else if (a.isString() && b.isString()) {
        int r = a.string()->compare(*b.string());
        c = r < 0 ? -1 : (r > 0 ? 1 : 0);
    } else if (a.isDate() && b.isDate()) {
        double x = a.date()->secondsSince1970, y = b.date()->secondsSince1970;
        c = x < y ? -1 : (x > y ? 1 : 0);
    } else if (a.isData() && b.isData()) {
        c = *a.data() < *b.data() ? -1 : (*a.data() == *b.data() ? 0 : 1);
    }
    return ascending_ ? c : -c;
}
