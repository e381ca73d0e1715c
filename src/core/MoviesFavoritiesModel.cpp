#include "core/MoviesFavoritiesModel.h"

#include <mutex>

#include "platform/foundation/ClassRegistry.h"

void MoviesFavoritiesModel::registerClass() {
    static std::once_flag once;
    std::call_once(once, [] { ClassRegistry::registerClass<MoviesFavoritiesModel>("NSManagedObject"); });
}
