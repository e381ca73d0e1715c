#include "platform/uikit/LayoutSolver.h"

#include <cassert>
#include <cmath>
#include <limits>

namespace {
constexpr double kEpsilon = 1.0e-8;
bool nearZero(double v) { return std::fabs(v) < kEpsilon; }
}  // namespace

// ---------------------------------------------------------------- expressions

LayoutSolver::Expression& LayoutSolver::Expression::add(Variable v, double coefficient) {
    terms[v] += coefficient;
    return *this;
}

LayoutSolver::Expression& LayoutSolver::Expression::add(const Expression& other, double factor) {
    constant += other.constant * factor;
    for (const auto& [v, c] : other.terms) terms[v] += c * factor;
    return *this;
}

// ---------------------------------------------------------------- rows
// A row stands for "basic symbol = constant + sum(cells)" (or, before it has a
// subject, "0 = constant + sum(cells)").

void LayoutSolver::Row::insert(Symbol s, double c) {
    double& cell = cells[s];
    cell += c;
    if (nearZero(cell)) cells.erase(s);
}

void LayoutSolver::Row::insert(const Row& other, double factor) {
    constant += other.constant * factor;
    for (const auto& [s, c] : other.cells) insert(s, c * factor);
}

void LayoutSolver::Row::solveFor(Symbol s) {
    double factor = -1.0 / cells.at(s);
    cells.erase(s);
    constant *= factor;
    for (auto& [sym, c] : cells) c *= factor;
}

void LayoutSolver::Row::solveFor(Symbol lhs, Symbol rhs) {
    insert(lhs, -1.0);
    solveFor(rhs);
}

double LayoutSolver::Row::coefficient(Symbol s) const {
    auto it = cells.find(s);
    return it == cells.end() ? 0.0 : it->second;
}

void LayoutSolver::Row::substitute(Symbol s, const Row& row) {
    auto it = cells.find(s);
    if (it == cells.end()) return;
    double c = it->second;
    cells.erase(it);
    insert(row, c);
}

// ---------------------------------------------------------------- solver

LayoutSolver::Symbol LayoutSolver::make(Kind kind) { return Symbol{nextId_++, kind}; }

LayoutSolver::Variable LayoutSolver::newVariable() {
    externals_.push_back(make(Kind::External));
    return externals_.size() - 1;
}

double LayoutSolver::value(Variable v) const {
    if (v >= externals_.size()) return 0;
    auto it = rows_.find(externals_[v]);
    return it == rows_.end() ? 0.0 : it->second.constant;
}

LayoutSolver::Row LayoutSolver::rowFor(const Expression& e, Relation relation, double weight, Tag& tag) {
    Row row;
    row.constant = e.constant;
    for (const auto& [v, c] : e.terms) {
        if (nearZero(c) || v >= externals_.size()) continue;
        Symbol s = externals_[v];
        if (auto it = rows_.find(s); it != rows_.end()) row.insert(it->second, c);
        else row.insert(s, c);
    }
    const bool required = weight <= 0;
    if (relation == Relation::Equal) {
        if (required) {
            tag.marker = make(Kind::Dummy);
            row.insert(tag.marker, 1.0);
        } else {
            tag.marker = make(Kind::Error);
            tag.other = make(Kind::Error);
            row.insert(tag.marker, -1.0);
            row.insert(tag.other, 1.0);
            objective_.insert(tag.marker, weight);
            objective_.insert(tag.other, weight);
        }
    } else {
        // e <= 0 becomes e + slack = 0, e >= 0 becomes e - slack = 0.
        double sign = relation == Relation::LessOrEqual ? 1.0 : -1.0;
        tag.marker = make(Kind::Slack);
        row.insert(tag.marker, sign);
        if (!required) {
            tag.other = make(Kind::Error);
            row.insert(tag.other, -sign);
            objective_.insert(tag.other, weight);
        }
    }
    if (row.constant < 0) {
        row.constant = -row.constant;
        for (auto& [s, c] : row.cells) c = -c;
    }
    return row;
}

LayoutSolver::Symbol LayoutSolver::chooseSubject(const Row& row, const Tag& tag) const {
    for (const auto& [s, c] : row.cells)
        if (s.kind == Kind::External) return s;
    if (tag.marker.valid() && tag.marker.restricted() && tag.marker.kind != Kind::Dummy &&
        row.coefficient(tag.marker) < 0)
        return tag.marker;
    if (tag.other.valid() && tag.other.restricted() && row.coefficient(tag.other) < 0) return tag.other;
    return Symbol{};
}

bool LayoutSolver::allDummies(const Row& row) const {
    for (const auto& [s, c] : row.cells)
        if (s.kind != Kind::Dummy) return false;
    return true;
}

bool LayoutSolver::addConstraint(const Expression& expression, Relation relation, double weight) {
    // A refused constraint leaves the system as it was (only a required one can be refused).
    const bool required = weight <= 0;
    std::map<Symbol, Row> savedRows;
    Row savedObjective;
    if (required) {
        savedRows = rows_;
        savedObjective = objective_;
    }
    auto restore = [&] {
        assert(required && "a weighted constraint always has an error to take up the difference");
        rows_ = std::move(savedRows);
        objective_ = std::move(savedObjective);
        return false;
    };
    Tag tag;
    Row row = rowFor(expression, relation, weight, tag);
    Symbol subject = chooseSubject(row, tag);
    if (!subject.valid() && allDummies(row)) {
        if (!nearZero(row.constant)) return restore();
        subject = tag.marker;
    }
    if (!subject.valid()) {
        if (!addWithArtificial(row)) return restore();
    } else {
        row.solveFor(subject);
        substitute(subject, row);
        rows_[subject] = std::move(row);
    }
    if (!optimize(objective_)) return restore();
    return true;
}

// Finds a feasible basis for a row without an obvious subject by minimising an
// artificial variable; the row is satisfiable when that reaches 0.
bool LayoutSolver::addWithArtificial(const Row& row) {
    Symbol art = make(Kind::Slack);
    rows_[art] = row;
    Row artificial = row;
    artificial_ = &artificial;
    bool bounded = optimize(artificial);
    artificial_ = nullptr;
    bool success = bounded && nearZero(artificial.constant);
    if (auto it = rows_.find(art); it != rows_.end()) {
        Row basic = std::move(it->second);
        rows_.erase(it);
        if (basic.cells.empty()) return success;
        Symbol entering = anyPivotableSymbol(basic);
        if (!entering.valid()) return false;
        basic.solveFor(art, entering);
        substitute(entering, basic);
        rows_[entering] = std::move(basic);
    }
    for (auto& [s, r] : rows_) r.cells.erase(art);
    objective_.cells.erase(art);
    return success;
}

void LayoutSolver::substitute(Symbol s, const Row& row) {
    for (auto& [basic, r] : rows_) r.substitute(s, row);
    objective_.substitute(s, row);
    if (artificial_) artificial_->substitute(s, row);
}

bool LayoutSolver::optimize(Row& objective) {
    for (;;) {
        Symbol entering = enteringSymbol(objective);
        if (!entering.valid()) return true;
        auto it = leavingRow(entering);
        if (it == rows_.end()) return false;  // unbounded
        Symbol leaving = it->first;
        Row row = std::move(it->second);
        rows_.erase(it);
        row.solveFor(leaving, entering);
        substitute(entering, row);
        rows_[entering] = std::move(row);
    }
}

// The lowest symbol whose growth lowers the objective (lowest first: no cycling).
LayoutSolver::Symbol LayoutSolver::enteringSymbol(const Row& objective) const {
    for (const auto& [s, c] : objective.cells)
        if (s.kind != Kind::Dummy && c < -kEpsilon) return s;
    return Symbol{};
}

LayoutSolver::Symbol LayoutSolver::anyPivotableSymbol(const Row& row) const {
    for (const auto& [s, c] : row.cells)
        if (s.kind == Kind::Slack || s.kind == Kind::Error) return s;
    return Symbol{};
}

std::map<LayoutSolver::Symbol, LayoutSolver::Row>::iterator LayoutSolver::leavingRow(Symbol entering) {
    double best = std::numeric_limits<double>::max();
    auto found = rows_.end();
    for (auto it = rows_.begin(); it != rows_.end(); ++it) {
        if (!it->first.restricted()) continue;
        double c = it->second.coefficient(entering);
        if (c >= 0) continue;
        double ratio = -it->second.constant / c;
        if (ratio < best) {
            best = ratio;
            found = it;
        }
    }
    return found;
}
