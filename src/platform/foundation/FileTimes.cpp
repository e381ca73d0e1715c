#include "platform/foundation/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

namespace FileTimes {

bool setAccessAndModificationDate(const std::string& path, Date date) {
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(std::floor(date.secondsSince1970));
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace FileTimes
