// Predicate formats. The input is the format; its %@, %K, %d ... take their
// arguments from a fixed list (a number, a text, a key, a double, nil). A
// predicate that parses is evaluated, and its printed format must parse again
// into a predicate that prints the same.
#include <vector>

#include "Harnesses.h"
#include "platform/coredata/NSPredicate.h"
#include "support/FuzzSupport.h"

namespace fuzz::predicate {
namespace {

// The largest format read: far past any query the store is asked, small enough
// that a quadratic step shows as a slow input rather than a timeout.
constexpr std::size_t kMaxFormat = 16 * 1024;

Value valueForKey(const std::string& key) {
    if (key.empty()) return Value();
    switch (key.size() % 4) {
        case 0: return Value(static_cast<int>(key.size()));
        case 1: return Value(key);
        case 2: return Value(0.5 * static_cast<double>(key[0]));
        default: return Value();
    }
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxFormat) return 0;
    std::string format(reinterpret_cast<const char*>(data), size);
    const std::vector<Value> arguments = {Value(7), Value("text"), Value("movieID"), Value(2.5), Value(),
                                          Value(-1), Value("a'b\"c"), Value(true)};
    auto predicate = NSPredicate::predicateWithFormat(format, arguments);
    if (!predicate) return 0;
    (void)predicate->evaluate(&valueForKey);
    std::string printed = predicate->predicateFormat();
    auto again = NSPredicate::predicateWithFormat(printed);
    check(again != nullptr, "a printed predicate format does not parse");
    check(again->predicateFormat() == printed, "a printed predicate format reads back as another predicate");
    check(again->evaluate(&valueForKey) == predicate->evaluate(&valueForKey),
          "a printed predicate format evaluates differently");
    return 0;
}

}  // namespace fuzz::predicate
