// JSON reading. The first byte picks the reading options, the rest is the text.
// What was read and written again must read back and write identically.
#include "Harnesses.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "support/FuzzSupport.h"

namespace fuzz::json {

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    unsigned long options = input.take() & 7u;
    NSErrorPtr error;
    auto value = NSJSONSerialization::JSONObjectWithData(input.restAsData(), options, &error);
    if (!value) {
        check(error != nullptr, "a refused JSON text gave no error");
        return 0;
    }
    (void)value->description();
    for (unsigned long writing : {0ul, static_cast<unsigned long>(NSJSONWritingPrettyPrinted)}) {
        auto written = NSJSONSerialization::dataWithJSONObject(*value, writing);
        if (!written) continue;  // a fragment without the option, or a value JSON cannot carry
        auto again = NSJSONSerialization::JSONObjectWithData(*written, NSJSONReadingAllowFragments);
        check(again.has_value(), "written JSON does not read back");
        auto rewritten = NSJSONSerialization::dataWithJSONObject(*again, writing);
        check(rewritten && *rewritten == *written, "written JSON reads back as another value");
    }
    return 0;
}

}  // namespace fuzz::json
