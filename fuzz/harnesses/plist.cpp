// Property lists, XML and binary. The bytes are read as they are; a list that
// reads must write in both formats, and each written list must read back as a
// list that writes the same bytes again.
#include "Harnesses.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "support/FuzzSupport.h"

namespace fuzz::plist {

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    Data bytes(data, data + size);
    NSPropertyListFormat format{};
    NSErrorPtr error;
    auto value = NSPropertyListSerialization::propertyListWithData(bytes, 0, &format, &error);
    if (!value) {
        check(error != nullptr, "a refused property list gave no error");
        return 0;
    }
    check(format == NSPropertyListXMLFormat_v1_0 || format == NSPropertyListBinaryFormat_v1_0 ||
              format == NSPropertyListOpenStepFormat,
          "a property list read in an unknown format");
    (void)value->description();
    for (auto out : {NSPropertyListXMLFormat_v1_0, NSPropertyListBinaryFormat_v1_0}) {
        auto written = NSPropertyListSerialization::dataWithPropertyList(*value, out);
        check(written.has_value(), "a property list that was read cannot be written");
        NSPropertyListFormat readFormat{};
        auto again = NSPropertyListSerialization::propertyListWithData(*written, 0, &readFormat);
        check(again.has_value(), "a written property list does not read back");
        check(readFormat == out, "a written property list reads back in another format");
        auto rewritten = NSPropertyListSerialization::dataWithPropertyList(*again, out);
        check(rewritten && *rewritten == *written, "a written property list reads back as another list");
    }
    return 0;
}

}  // namespace fuzz::plist
