#pragma once
// The object model: the entities the store keeps, read from a model file of
// our own format (JSON):
//   { "name": "Quorvane",
//     "entities": [ { "name": "Entity", "class": "Entity",
//                     "attributes": [ { "name": "key", "type": "integer32" }, ... ] } ] }
// "class" names the entity's object class (NSManagedObject when absent).
// Attribute types: string, integer16, integer32, integer64, float, double,
// boolean, date, binary.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/coredata/NSEntityDescription.h"
#include "platform/foundation/NSError.h"

class NSManagedObjectModel : public NSObject {
public:
    // The model in the file at the URL ("file://..." or a plain path); nullptr when
    // the file is missing or malformed (the reason goes to the console and *error).
    static std::shared_ptr<NSManagedObjectModel> initWithContentsOfURL(const std::string& url,
                                                                       NSErrorPtr* error = nullptr);
    static std::shared_ptr<NSManagedObjectModel> modelWithJSON(std::string_view text, NSErrorPtr* error = nullptr);

    NSManagedObjectModel(std::string name, std::vector<std::shared_ptr<NSEntityDescription>> entities);

    const std::string& name() const { return name_; }
    const std::vector<std::shared_ptr<NSEntityDescription>>& entities() const { return entities_; }
    std::shared_ptr<NSEntityDescription> entityForName(const std::string& name) const;

private:
    std::string name_;
    std::vector<std::shared_ptr<NSEntityDescription>> entities_;
};

namespace coredata {
// A file URL or a plain path as a path ("file://localhost/x" and "file:///x" give "/x").
std::string pathFromURL(const std::string& url);
}  // namespace coredata
