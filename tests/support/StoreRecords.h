#pragma once
// The records of one entity in a context, optionally filtered by a predicate
// format and its arguments, as their typed class (null entries for objects of
// another class).
#include <memory>
#include <string>
#include <vector>

#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/coredata/NSPredicate.h"

namespace testsupport {

template <class T>
std::vector<std::shared_ptr<T>> fetchRecords(const std::shared_ptr<NSManagedObjectContext>& context,
                                             const std::string& entity, const std::string& predicate = {},
                                             std::vector<Value> args = {}) {
    auto request = NSFetchRequest::fetchRequestWithEntityName(entity);
    if (!predicate.empty()) request->setPredicate(NSPredicate::predicateWithFormat(predicate, std::move(args)));
    NSErrorPtr error;
    std::vector<std::shared_ptr<T>> out;
    for (const auto& object : context->executeFetchRequest(request, &error))
        out.push_back(std::dynamic_pointer_cast<T>(object));
    return out;
}

}  // namespace testsupport
