// The request serializer as the HTTP managers use it.
#include "networking/NLRequestSerializerSupport.h"

#include "networking/NLLocalizedString.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/net/NSURLError.h"

NSErrorPtr NLRequestNotBuiltError(const std::string& URLString) {
    Value info{{NSLocalizedDescriptionKey, Value(NLLocalizedString("The request could not be built."))},
               {NSURLErrorFailingURLStringErrorKey, Value(URLString)}};
    return NSError::errorWithDomain(NLURLRequestSerializationErrorDomain, NLURLRequestSerializationErrorCode, info);
}

void NLReportRequestNotBuilt(const dispatch_queue_t& queue, const dispatch_group_t& group, dispatch_block_t report) {
    dispatch_queue_t target = queue ? queue : dispatch_get_main_queue();
    if (group) dispatch_group_async(group, target, std::move(report));
    else dispatch_async(target, std::move(report));
}

Value NLArchiveRequestSerializer(const NLHTTPRequestSerializer& serializer) {
    Value archive = serializer.encodeWithCoder();
    archive.setObject("$class", serializer.className());
    return archive;
}

std::shared_ptr<NLHTTPRequestSerializer> NLRequestSerializerWithCoder(const Value& archive) {
    if (!archive.isDictionary()) return nullptr;
    const std::string name = archive["$class"].stringValue();
    std::shared_ptr<NLHTTPRequestSerializer> serializer;
    if (name == "NLJSONRequestSerializer") serializer = std::make_shared<NLJSONRequestSerializer>();
    else if (name == "NLPropertyListRequestSerializer") serializer = std::make_shared<NLPropertyListRequestSerializer>();
    else if (name != "NLHTTPRequestSerializer" && ClassRegistry::isSubclass(name, "NLHTTPRequestSerializer"))
        serializer = std::dynamic_pointer_cast<NLHTTPRequestSerializer>(ClassRegistry::create(name));
    if (!serializer) serializer = std::make_shared<NLHTTPRequestSerializer>();
    serializer->initWithCoder(archive);
    return serializer;
}
