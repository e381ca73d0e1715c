#include "platform/base/MainThread.h"

#include <sys/syscall.h>
#include <unistd.h>

bool isProcessMainThread() { return static_cast<pid_t>(syscall(SYS_gettid)) == getpid(); }
