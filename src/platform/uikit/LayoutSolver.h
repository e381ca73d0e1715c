#pragma once
// A linear constraint solver in the incremental simplex style: required
// equalities and inequalities must hold; non-required ones carry a weight and
// the solver minimises the weighted sum of their errors. Constraints are added
// one at a time; a required one that cannot hold together with those already
// added is refused (addConstraint answers false) and leaves the system as it
// was.
//
// Variables are indexes handed out by newVariable(). Values are read after
// adding (the system is kept optimal after every add).
//
// Single-threaded; one solver per layout pass.
#include <cstddef>
#include <map>
#include <vector>

class LayoutSolver {
public:
    using Variable = std::size_t;

    // a0 + sum(coefficient * variable).
    struct Expression {
        double constant = 0;
        std::map<Variable, double> terms;
        Expression& add(Variable v, double coefficient);
        Expression& add(const Expression& other, double factor);
    };
    enum class Relation { LessOrEqual, Equal, GreaterOrEqual };

    Variable newVariable();
    // expression RELATION 0. A weight of 0 or less means required.
    [[nodiscard]] bool addConstraint(const Expression& expression, Relation relation, double weight = 0);
    double value(Variable v) const;

private:
    // Symbols: external variables, slacks, errors and dummies (markers of equalities).
    enum class Kind { External, Slack, Error, Dummy };
    struct Symbol {
        std::size_t id = 0;
        Kind kind = Kind::External;
        bool operator<(const Symbol& o) const { return id < o.id; }
        bool operator==(const Symbol& o) const { return id == o.id; }
        bool valid() const { return id != 0; }
        bool restricted() const { return kind != Kind::External; }
    };
    struct Row {
        double constant = 0;
        std::map<Symbol, double> cells;
        void insert(Symbol s, double c);
        void insert(const Row& other, double factor);
        void solveFor(Symbol s);
        void solveFor(Symbol lhs, Symbol rhs);
        double coefficient(Symbol s) const;
        void substitute(Symbol s, const Row& row);
    };
    struct Tag {
        Symbol marker, other;
    };

    Symbol make(Kind kind);
    Row rowFor(const Expression& e, Relation r, double weight, Tag& tag);
    Symbol chooseSubject(const Row& row, const Tag& tag) const;
    bool allDummies(const Row& row) const;
    bool addWithArtificial(const Row& row);
    void substitute(Symbol s, const Row& row);
    bool optimize(Row& objective);
    Symbol enteringSymbol(const Row& objective) const;
    Symbol anyPivotableSymbol(const Row& row) const;
    std::map<Symbol, Row>::iterator leavingRow(Symbol entering);

    std::size_t nextId_ = 1;
    std::vector<Symbol> externals_;
    std::map<Symbol, Row> rows_;
    Row objective_;
    Row* artificial_ = nullptr;
};
