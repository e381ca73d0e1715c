#pragma once
// The paging of a poster grid: the number of the last page asked for
// (`indexPage`), whether a list request is in flight (`isLoadItem`), whether
// the last reply said that more pages exist (`isLoadMoreItem`), and the
// generation that matches each reply to its request.
//
// Each first page takes a new generation and supersedes whatever is in
// flight: the superseded request's reply or failure is dropped when it comes
// (isCurrent answers NO), so a late page of an old genre, sort or keyword
// never reaches the grid. A further page belongs to the generation in force.
// A failed further page steps `indexPage` back, so the next scroll to the end
// asks for the same page again.
//
// Phases: Idle -> LoadingFirst | LoadingFurther -> Idle, and LoadingFirst or
// LoadingFurther -> LoadingFirst when a first page supersedes; every move
// goes through one checked transition. Main thread only.
#include <cstdint>
#include <optional>

class GridPaging {
public:
    enum class Phase { Idle, LoadingFirst, LoadingFurther };

    // One list request: the generation it belongs to and the page it asks for.
    struct Ticket {
        std::uint64_t generation = 0;
        std::int32_t page = 1;
        bool firstPage = true;
    };

    // Page 1 of a new generation; `superseded` tells what was in flight.
    Ticket beginFirstPage(Phase* superseded = nullptr);
    // The next page of the generation in force, only while idle with more pages.
    std::optional<Ticket> beginFurtherPage();

    // Whether a reply to the ticket is still wanted (the request is the one in flight).
    bool isCurrent(const Ticket& ticket) const;
    // A reply arrived: true when it is current (then the flags follow `more`),
    // false when it is dropped.
    [[nodiscard]] bool finish(const Ticket& ticket, bool more);
    // A failure arrived: true when it is current (then the request ends; a
    // further page steps indexPage back), false when it is dropped.
    [[nodiscard]] bool fail(const Ticket& ticket);

    Phase phase() const { return phase_; }
    std::uint64_t generation() const { return generation_; }
    std::int32_t indexPage() const { return indexPage_; }
    bool isLoadItem() const { return phase_ != Phase::Idle; }
    bool isLoadMoreItem() const { return isLoadMoreItem_; }

private:
    void moveTo(Phase next);

    Phase phase_ = Phase::Idle;
    std::uint64_t generation_ = 0;
    std::int32_t indexPage_ = 0;
    bool isLoadMoreItem_ = false;
};
