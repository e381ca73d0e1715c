#pragma once
// What the HTTP managers (request operations and sessions) share about their
// request serializer: the error of a request it could not build, and archiving
// it inside a manager's archive (the serializer's own keys plus "$class"
// naming its class, and back to a serializer of that class; the base class for
// a name that is not a request serializer).
#include <memory>
#include <string>

#include "networking/NLURLRequestSerialization.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"

// The -1000 request-construction error for a request the serializer did not
// build and gave no error for, with the URL string it was asked for.
NSErrorPtr NLRequestNotBuiltError(const std::string& URLString);
// Runs `report` (the failure callback of a request that was not built) later,
// never before the caller returns: on `queue` (the main queue when none), as a
// member of `group` when one is given.
void NLReportRequestNotBuilt(const dispatch_queue_t& queue, const dispatch_group_t& group, dispatch_block_t report);

// The serializer's archive with "$class".
Value NLArchiveRequestSerializer(const NLHTTPRequestSerializer& serializer);
// A serializer of the class the archive names, read from it; null for an
// archive that is no dictionary.
std::shared_ptr<NLHTTPRequestSerializer> NLRequestSerializerWithCoder(const Value& archive);
