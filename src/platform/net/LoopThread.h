#pragma once
// A thread of its own that runs its run loop (default mode) for the rest of
// the process: where the URL session's loads and the reachability watches of
// dispatch-queue targets live. Made once per caller and never stopped.
#include <memory>
#include <string>

#include "platform/runloop/NSRunLoop.h"

std::shared_ptr<NSRunLoop> startLoopThread(const std::string& name);
