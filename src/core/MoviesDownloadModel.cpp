#include "core/MoviesDownloadModel.h"

#include <mutex>

#include "platform/foundation/ClassRegistry.h"

void MoviesDownloadModel::registerClass() {
    static std::once_flag once;
    std::call_once(once, [] { ClassRegistry::registerClass<MoviesDownloadModel>("NSManagedObject"); });
}
