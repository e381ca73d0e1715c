#include "platform/quartzcore/CATransaction.h"

#include <memory>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/runloop/NSRunLoop.h"

namespace {
struct Group {
    int pending = 0;
    bool committed = false;
    bool done = false;
    std::function<void()> completion;
};

struct Frame {
    double duration = 0.25;
    bool disableActions = false;
    std::shared_ptr<Group> group = std::make_shared<Group>();
};

thread_local std::vector<Frame> frames;

void finishIfDone(const std::shared_ptr<Group>& g) {
    if (!g->committed || g->pending > 0 || g->done) return;
    g->done = true;
    if (!g->completion) return;
    NSRunLoop::mainRunLoop()->performBlock([completion = std::move(g->completion)] { completion(); });
    g->completion = nullptr;
}
}  // namespace

void CATransaction::begin() {
    Frame f;
    if (!frames.empty()) {
        f.duration = frames.back().duration;
        f.disableActions = frames.back().disableActions;
    }
    frames.push_back(std::move(f));
}

void CATransaction::commit() {
    if (frames.empty()) {
        NSLog("CATransaction: commit without begin ignored");
        return;
    }
    auto group = frames.back().group;
    frames.pop_back();
    group->committed = true;
    finishIfDone(group);
}

double CATransaction::animationDuration() { return frames.empty() ? 0.25 : frames.back().duration; }

void CATransaction::setAnimationDuration(double seconds) {
    if (!frames.empty() && seconds >= 0) frames.back().duration = seconds;
}

bool CATransaction::disableActions() { return !frames.empty() && frames.back().disableActions; }

void CATransaction::setDisableActions(bool disable) {
    if (!frames.empty()) frames.back().disableActions = disable;
}

void CATransaction::setCompletionBlock(std::function<void()> block) {
    if (!frames.empty()) frames.back().group->completion = std::move(block);
}

int CATransaction::depth() { return static_cast<int>(frames.size()); }

std::shared_ptr<void> CATransaction::currentGroup() { return frames.empty() ? nullptr : frames.back().group; }

void CATransaction::animationJoined(const std::shared_ptr<void>& group) {
    if (group) ++std::static_pointer_cast<Group>(group)->pending;
}

void CATransaction::animationEnded(const std::shared_ptr<void>& group) {
    if (!group) return;
    auto g = std::static_pointer_cast<Group>(group);
    --g->pending;
    finishIfDone(g);
}
