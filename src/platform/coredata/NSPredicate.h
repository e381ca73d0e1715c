#pragma once
// Predicates over the attributes of an object: comparisons of keys and values
// (==, !=, <, <=, >, >=) joined by AND, OR and NOT, parsed from a format string
// whose %@ (and %d, %i, %ld, %f ...) take the next argument and %K a key name:
//   NSPredicate::predicateWithFormat("movieID == %@ AND title != %@", {Value(7), Value("x")})
// Literal numbers, quoted strings, YES/NO, TRUE/FALSE, nil/NULL, TRUEPREDICATE
// and FALSEPREDICATE may appear in the format; keywords ignore case.
//
// A comparison with nil is false except for == nil / != nil, in the store and
// in memory alike.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/coredata/Forward.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSPredicate : public NSObject {
public:
    enum class Kind { True, False, Comparison, And, Or, Not };
    enum class Operator { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };
    struct Operand {
        bool isKey = false;
        std::string key;  // when isKey
        Value constant;   // otherwise
    };

    // nullptr (with a console line) when the format cannot be parsed or lacks arguments.
    static std::shared_ptr<NSPredicate> predicateWithFormat(const std::string& format,
                                                           const std::vector<Value>& arguments = {});
    static std::shared_ptr<NSPredicate> predicateWithValue(bool value);
    static std::shared_ptr<NSPredicate> comparison(Operand left, Operator op, Operand right);
    static std::shared_ptr<NSPredicate> andPredicateWithSubpredicates(std::vector<std::shared_ptr<NSPredicate>> subs);
    static std::shared_ptr<NSPredicate> orPredicateWithSubpredicates(std::vector<std::shared_ptr<NSPredicate>> subs);
    static std::shared_ptr<NSPredicate> notPredicateWithSubpredicate(std::shared_ptr<NSPredicate> sub);

    Kind kind() const { return kind_; }
    Operator comparisonOperator() const { return op_; }
    const Operand& left() const { return left_; }
    const Operand& right() const { return right_; }
    const std::vector<std::shared_ptr<NSPredicate>>& subpredicates() const { return subs_; }

    // Evaluates with the values the function gives for keys.
    bool evaluate(const std::function<Value(const std::string&)>& valueForKey) const;
    bool evaluateWithObject(const std::shared_ptr<NSManagedObject>& object) const;

    // The predicate with its keys checked against the entity and its values
    // converted to the attributes' types (integers stay exact, floats take single
    // precision); nullptr with an error for an unknown key or a value of another type.
    std::shared_ptr<NSPredicate> boundToEntity(const NSEntityDescription& entity, NSErrorPtr* error) const;

    std::string predicateFormat() const;
    std::string description() const override { return predicateFormat(); }

    // Compares two values as predicates do (nil only equals nil).
    static bool compareValues(const Value& left, Operator op, const Value& right);

    explicit NSPredicate(Kind kind) : kind_(kind) {}

private:
    Kind kind_;
    Operator op_ = Operator::Equal;
    Operand left_, right_;
    std::vector<std::shared_ptr<NSPredicate>> subs_;
};
