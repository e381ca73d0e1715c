#include "screens/GridPaging.h"

#include <cassert>

#include "platform/foundation/NSLog.h"
#include "platform/foundation/LifecycleMove.h"
#include "platform/base/ThreadAssertions.h"

namespace {

const char* phaseName(GridPaging::Phase phase) {
    switch (phase) {
        case GridPaging::Phase::Idle: return "idle";
        case GridPaging::Phase::LoadingFirst: return "loading the first page";
        case GridPaging::Phase::LoadingFurther: return "loading a further page";
    }
    return "?";
}

}  // namespace

void GridPaging::moveTo(Phase next) {
    // A further page starts only from rest; every phase may end or be superseded.
    const bool allowed = next != Phase::LoadingFurther || phase_ == Phase::Idle;
    if (checkLifecycleMove(allowed, true, "Grid paging", {}, phaseName(phase_), phaseName(next),
                           "a further page starts only while no list request is in flight"))
        phase_ = next;
}

GridPaging::Ticket GridPaging::beginFirstPage(Phase* superseded) {
    if (superseded) *superseded = phase_;
    ++generation_;
    indexPage_ = 1;
    moveTo(Phase::LoadingFirst);
    return Ticket{generation_, 1, true};
}

std::optional<GridPaging::Ticket> GridPaging::beginFurtherPage() {
    if (!isLoadMoreItem_ || phase_ != Phase::Idle) return std::nullopt;
    ++indexPage_;
    moveTo(Phase::LoadingFurther);
    return Ticket{generation_, indexPage_, false};
}

bool GridPaging::isCurrent(const Ticket& ticket) const {
    if (ticket.generation != generation_ || phase_ == Phase::Idle) return false;
    return ticket.firstPage ? phase_ == Phase::LoadingFirst : phase_ == Phase::LoadingFurther && ticket.page == indexPage_;
}

bool GridPaging::finish(const Ticket& ticket, bool more) {
    if (!isCurrent(ticket)) return false;
    isLoadMoreItem_ = more;
    moveTo(Phase::Idle);
    return true;
}

bool GridPaging::fail(const Ticket& ticket) {
    if (!isCurrent(ticket)) return false;
    if (!ticket.firstPage) --indexPage_;
    moveTo(Phase::Idle);
    return true;
}
