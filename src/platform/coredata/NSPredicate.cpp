#include "platform/coredata/NSPredicate.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/coredata/CoreDataErrors.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/coredata/NSManagedObject.h"
#include "platform/foundation/NSLog.h"

namespace {

using Operator = NSPredicate::Operator;
using Operand = NSPredicate::Operand;

struct Token {
    enum Type { End, Identifier, Number, String, Argument, KeyArgument, Op, LParen, RParen } type = End;
    std::string text;  // identifier, operator or string contents
    Value number;
};

std::string upper(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool isIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Parentheses and NOTs nest at most this deep: a deeper format is refused
// rather than parsed by ever deeper recursion.
constexpr int kMaxNesting = 200;

// "+inf", "-inf", "+nan", "-nan" (any case) at `i`, as the formats print
// numbers that have no digits; the length taken, 0 when there is none.
std::size_t specialNumberAt(const std::string& s, std::size_t i, double& value) {
    if (i + 4 > s.size() || (s[i] != '+' && s[i] != '-')) return 0;
    std::string word = s.substr(i + 1, 3);
    for (auto& c : word) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (word != "inf" && word != "nan") return 0;
    if (i + 4 < s.size() && (isIdentStart(s[i + 4]) || isDigit(s[i + 4]))) return 0;
    const double magnitude = word == "inf" ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    value = s[i] == '-' ? -magnitude : magnitude;
    return 4;
}

class Parser {
public:
    Parser(const std::string& format, const std::vector<Value>& args) : s_(format), args_(args) {}

    std::shared_ptr<NSPredicate> parse(std::string& error) {
        if (!tokenize(error)) return nullptr;
        auto result = parseOr(error);
        if (!result) return nullptr;
        if (peek().type != Token::End) {
            error = "unexpected '" + peek().text + "'";
            return nullptr;
        }
        return result;
    }

private:
    bool tokenize(std::string& error) {
        std::size_t i = 0;
        while (i < s_.size()) {
            char c = s_[i];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                ++i;
                continue;
            }
            Token t;
            if (c == '(' || c == ')') {
                t.type = c == '(' ? Token::LParen : Token::RParen;
                t.text = std::string(1, c);
                ++i;
            } else if (c == '%') {
                std::size_t j = i + 1;
                while (j < s_.size() && (s_[j] == 'l' || s_[j] == 'h' || s_[j] == 'q')) ++j;
                if (j >= s_.size()) {
                    error = "incomplete format specifier";
                    return false;
                }
                char spec = s_[j];
                if (spec == 'K') t.type = Token::KeyArgument;
                else if (spec == '@' || spec == 'd' || spec == 'i' || spec == 'u' || spec == 'f' || spec == 'g' ||
                         spec == 'e' || spec == 's')
                    t.type = Token::Argument;
                else {
                    error = std::string("unsupported format specifier %") + spec;
                    return false;
                }
                t.text = s_.substr(i, j + 1 - i);
                if (argIndex_ >= args_.size()) {
                    error = "too few arguments for the format";
                    return false;
                }
                t.number = args_[argIndex_++];
                i = j + 1;
            } else if (c == '\'' || c == '"') {
                std::size_t j = i + 1;
                std::string text;
                bool closed = false;
                while (j < s_.size()) {
                    if (s_[j] == '\\' && j + 1 < s_.size()) {
                        char e = s_[j + 1];
                        text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                        j += 2;
                    } else if (s_[j] == c) {
                        closed = true;
                        ++j;
                        break;
                    } else {
                        text += s_[j++];
                    }
                }
                if (!closed) {
                    error = "unterminated string";
                    return false;
                }
                t.type = Token::String;
                t.text = text;
                i = j;
            } else if (double special; std::size_t taken = specialNumberAt(s_, i, special)) {
                t.type = Token::Number;
                t.text = s_.substr(i, taken);
                t.number = Value(special);
                i += taken;
            } else if (isDigit(c) || (c == '-' && i + 1 < s_.size() && isDigit(s_[i + 1]))) {
                std::size_t j = i + 1;
                bool isDouble = false;
                while (j < s_.size() && (isDigit(s_[j]) || s_[j] == '.' || s_[j] == 'e' || s_[j] == 'E' ||
                                         ((s_[j] == '-' || s_[j] == '+') && (s_[j - 1] == 'e' || s_[j - 1] == 'E')))) {
                    if (!isDigit(s_[j])) isDouble = true;
                    ++j;
                }
                std::string text = s_.substr(i, j - i);
                char* end = nullptr;
                t.type = Token::Number;
                t.text = text;
                errno = 0;
                if (isDouble) {
                    double d = std::strtod(text.c_str(), &end);
                    t.number = Value(d);
                } else {
                    long long n = std::strtoll(text.c_str(), &end, 10);
                    t.number = Value(n);
                    if (errno == ERANGE) {
                        // Above the signed range: an unsigned number when it fits, else a real.
                        errno = 0;
                        unsigned long long u = text[0] == '-' ? 0 : std::strtoull(text.c_str(), nullptr, 10);
                        t.number = text[0] != '-' && errno == 0 ? Value(u) : Value(std::strtod(text.c_str(), nullptr));
                        errno = ERANGE;
                    }
                }
                if (end != text.c_str() + text.size() && errno != ERANGE) {
                    error = "malformed number " + text;
                    return false;
                }
                i = j;
            } else if (isIdentStart(c)) {
                std::size_t j = i + 1;
                while (j < s_.size() && (isIdentStart(s_[j]) || isDigit(s_[j]))) ++j;
                t.type = Token::Identifier;
                t.text = s_.substr(i, j - i);
                i = j;
            } else {
                static const char* ops[] = {"==", "!=", "<>", "<=", ">=", "=<", "=>", "&&", "||", "=", "<", ">", "!"};
                bool found = false;
                for (const char* op : ops) {
                    std::string o(op);
                    if (s_.compare(i, o.size(), o) == 0) {
                        t.type = Token::Op;
                        t.text = o;
                        i += o.size();
                        found = true;
                        break;
                    }
                }
                if (!found) {
                    error = std::string("unexpected character '") + c + "'";
                    return false;
                }
            }
            tokens_.push_back(std::move(t));
        }
        tokens_.push_back(Token{});
        return true;
    }

    const Token& peek() const { return tokens_[pos_]; }
    Token next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
    bool isWord(const Token& t, const char* word) const { return t.type == Token::Identifier && upper(t.text) == word; }

    std::shared_ptr<NSPredicate> parseOr(std::string& error) {
        auto left = parseAnd(error);
        if (!left) return nullptr;
        std::vector<std::shared_ptr<NSPredicate>> subs{left};
        while (isWord(peek(), "OR") || (peek().type == Token::Op && peek().text == "||")) {
            next();
            auto right = parseAnd(error);
            if (!right) return nullptr;
            subs.push_back(right);
        }
        return subs.size() == 1 ? left : NSPredicate::orPredicateWithSubpredicates(std::move(subs));
    }

    std::shared_ptr<NSPredicate> parseAnd(std::string& error) {
        auto left = parseNot(error);
        if (!left) return nullptr;
        std::vector<std::shared_ptr<NSPredicate>> subs{left};
        while (isWord(peek(), "AND") || (peek().type == Token::Op && peek().text == "&&")) {
            next();
            auto right = parseNot(error);
            if (!right) return nullptr;
            subs.push_back(right);
        }
        return subs.size() == 1 ? left : NSPredicate::andPredicateWithSubpredicates(std::move(subs));
    }

    // Counts one level of nesting while it lives; false when too deep.
    class Nesting {
    public:
        explicit Nesting(int& depth) : depth_(depth) { ++depth_; }
        ~Nesting() { --depth_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
        bool allowed() const { return depth_ <= kMaxNesting; }

    private:
        int& depth_;
    };

    std::shared_ptr<NSPredicate> parseNot(std::string& error) {
        if (isWord(peek(), "NOT") || (peek().type == Token::Op && peek().text == "!")) {
            next();
            Nesting nesting(depth_);
            if (!nesting.allowed()) {
                error = "the format nests deeper than " + std::to_string(kMaxNesting) + " levels";
                return nullptr;
            }
            auto sub = parseNot(error);
            return sub ? NSPredicate::notPredicateWithSubpredicate(sub) : nullptr;
        }
        return parsePrimary(error);
    }

    std::shared_ptr<NSPredicate> parsePrimary(std::string& error) {
        if (peek().type == Token::LParen) {
            next();
            Nesting nesting(depth_);
            if (!nesting.allowed()) {
                error = "the format nests deeper than " + std::to_string(kMaxNesting) + " levels";
                return nullptr;
            }
            auto inner = parseOr(error);
            if (!inner) return nullptr;
            if (peek().type != Token::RParen) {
                error = "missing ')'";
                return nullptr;
            }
            next();
            return inner;
        }
        if (isWord(peek(), "TRUEPREDICATE")) {
            next();
            return NSPredicate::predicateWithValue(true);
        }
        if (isWord(peek(), "FALSEPREDICATE")) {
            next();
            return NSPredicate::predicateWithValue(false);
        }
        Operand left, right;
        if (!parseOperand(left, error)) return nullptr;
        Token opToken = next();
        Operator op;
        if (opToken.type != Token::Op || !operatorFor(opToken.text, op)) {
            error = "a comparison operator is expected" + (opToken.text.empty() ? std::string() : " at '" + opToken.text + "'");
            return nullptr;
        }
        if (!parseOperand(right, error)) return nullptr;
        return NSPredicate::comparison(std::move(left), op, std::move(right));
    }

    static bool operatorFor(const std::string& text, Operator& op) {
        if (text == "==" || text == "=") op = Operator::Equal;
        else if (text == "!=" || text == "<>") op = Operator::NotEqual;
        else if (text == "<") op = Operator::Less;
        else if (text == "<=" || text == "=<") op = Operator::LessOrEqual;
        else if (text == ">") op = Operator::Greater;
        else if (text == ">=" || text == "=>") op = Operator::GreaterOrEqual;
        else return false;
        return true;
    }

    bool parseOperand(Operand& operand, std::string& error) {
        Token t = next();
        switch (t.type) {
        case Token::Argument:
        case Token::Number:
            operand.constant = t.number;
            return true;
        case Token::String:
            operand.constant = Value(t.text);
            return true;
        case Token::KeyArgument:
            if (!t.number.isString() || t.number.string()->empty()) {
                error = "%K needs a key name";
                return false;
            }
            operand.isKey = true;
            operand.key = *t.number.string();
            return true;
        case Token::Identifier: {
            std::string word = upper(t.text);
            if (word == "YES" || word == "TRUE") operand.constant = Value(true);
            else if (word == "NO" || word == "FALSE") operand.constant = Value(false);
            else if (word == "NIL" || word == "NULL") operand.constant = Value();
            else if (word == "AND" || word == "OR" || word == "NOT") {
                error = "unexpected " + t.text;
                return false;
            } else {
                operand.isKey = true;
                operand.key = t.text;
            }
            return true;
        }
        default:
            error = t.type == Token::End ? "unexpected end of format" : "unexpected '" + t.text + "'";
            return false;
        }
    }

    const std::string& s_;
    const std::vector<Value>& args_;
    std::size_t argIndex_ = 0;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

const char* operatorText(Operator op) {
    switch (op) {
    case Operator::Equal: return "==";
    case Operator::NotEqual: return "!=";
    case Operator::Less: return "<";
    case Operator::LessOrEqual: return "<=";
    case Operator::Greater: return ">";
    case Operator::GreaterOrEqual: return ">=";
    }
    return "?";
}

// A real number as the tokenizer reads it back: the same value and still a
// real (2.0 prints "2.0", not the integer "2"; -0.0 keeps its sign).
std::string numberText(double d) {
    if (std::isnan(d)) return std::signbit(d) ? "-nan" : "+nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "+inf";
    std::string text = Value(d).stringValue();
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

std::string operandText(const Operand& o) {
    if (o.isKey) return o.key;
    const Value& v = o.constant;
    switch (v.type()) {
    case Value::Type::Null: return "nil";
    case Value::Type::Bool: return v.boolValue() ? "YES" : "NO";
    case Value::Type::String: {
        std::string out = "\"";
        for (char c : *v.string()) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        return out + "\"";
    }
    case Value::Type::Double: return numberText(v.doubleValue());
    default: return v.description();
    }
}

// Ordering of two non-null values of comparable types; nullopt when they cannot be ordered.
std::optional<int> order(const Value& a, const Value& b) {
    if (a.isNumber() && b.isNumber()) return a.compare(b);
    if (a.isString() && b.isString()) {
        int c = a.string()->compare(*b.string());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.isDate() && b.isDate()) {
        double x = a.date()->secondsSince1970, y = b.date()->secondsSince1970;
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.isData() && b.isData()) return *a.data() < *b.data() ? -1 : (*a.data() == *b.data() ? 0 : 1);
    return std::nullopt;
}

// The constant compared with an attribute, in the attribute's terms.
std::optional<Value> constantFor(const NSAttributeDescription& attr, const Value& v, std::string& reason) {
    if (v.isNull()) return v;
    if (attr.isNumeric()) {
        if (!v.isNumber()) {
            reason = "a number is required";
            return std::nullopt;
        }
        if (attr.attributeType() == NSFloatAttributeType && v.type() == Value::Type::Double) {
            double d = v.doubleValue();
            if (std::isfinite(d) && std::fabs(d) <= static_cast<double>(std::numeric_limits<float>::max()))
                return Value(static_cast<double>(static_cast<float>(d)));
        }
        if (std::isnan(v.doubleValue())) {
            reason = "NaN cannot be compared";
            return std::nullopt;
        }
        return v;
    }
    return attr.coerce(v, &reason);
}

bool comparableTypes(const NSAttributeDescription& a, const NSAttributeDescription& b) {
    return (a.isNumeric() && b.isNumeric()) || a.attributeType() == b.attributeType();
}

}  // namespace

std::shared_ptr<NSPredicate> NSPredicate::predicateWithFormat(const std::string& format,
                                                              const std::vector<Value>& arguments) {
    std::string error;
    auto predicate = Parser(format, arguments).parse(error);
    if (!predicate) NSLog("Unable to parse the format string \"%@\": %@", format, error);
    return predicate;
}

std::shared_ptr<NSPredicate> NSPredicate::predicateWithValue(bool value) {
    return std::make_shared<NSPredicate>(value ? Kind::True : Kind::False);
}

std::shared_ptr<NSPredicate> NSPredicate::comparison(Operand left, Operator op, Operand right) {
    auto p = std::make_shared<NSPredicate>(Kind::Comparison);
    p->left_ = std::move(left);
    p->op_ = op;
    p->right_ = std::move(right);
    return p;
}

std::shared_ptr<NSPredicate> NSPredicate::andPredicateWithSubpredicates(std::vector<std::shared_ptr<NSPredicate>> subs) {
    auto p = std::make_shared<NSPredicate>(Kind::And);
    for (auto& s : subs)
        if (s) p->subs_.push_back(std::move(s));
    return p;
}

std::shared_ptr<NSPredicate> NSPredicate::orPredicateWithSubpredicates(std::vector<std::shared_ptr<NSPredicate>> subs) {
    auto p = std::make_shared<NSPredicate>(Kind::Or);
    for (auto& s : subs)
        if (s) p->subs_.push_back(std::move(s));
    return p;
}

std::shared_ptr<NSPredicate> NSPredicate::notPredicateWithSubpredicate(std::shared_ptr<NSPredicate> sub) {
    auto p = std::make_shared<NSPredicate>(Kind::Not);
    if (sub) p->subs_.push_back(std::move(sub));
    else p->subs_.push_back(predicateWithValue(true));
    return p;
}

bool NSPredicate::compareValues(const Value& left, Operator op, const Value& right) {
    if (left.isNull() || right.isNull()) {
        bool bothNull = left.isNull() && right.isNull();
        if (op == Operator::Equal) return bothNull;
        if (op == Operator::NotEqual) return !bothNull;
        return false;
    }
    auto c = order(left, right);
    if (!c) return op == Operator::NotEqual;
    switch (op) {
    case Operator::Equal: return *c == 0;
    case Operator::NotEqual: return *c != 0;
    case Operator::Less: return *c < 0;
    case Operator::LessOrEqual: return *c <= 0;
    case Operator::Greater: return *c > 0;
    case Operator::GreaterOrEqual: return *c >= 0;
    }
    return false;
}

bool NSPredicate::evaluate(const std::function<Value(const std::string&)>& valueForKey) const {
    switch (kind_) {
    case Kind::True: return true;
    case Kind::False: return false;
    case Kind::Comparison: {
        Value l = left_.isKey ? valueForKey(left_.key) : left_.constant;
        Value r = right_.isKey ? valueForKey(right_.key) : right_.constant;
        return compareValues(l, op_, r);
    }
    case Kind::And:
        for (const auto& s : subs_)
            if (!s->evaluate(valueForKey)) return false;
        return true;
    case Kind::Or:
        for (const auto& s : subs_)
            if (s->evaluate(valueForKey)) return true;
        return false;
    case Kind::Not: return !subs_.front()->evaluate(valueForKey);
    }
    return false;
}

bool NSPredicate::evaluateWithObject(const std::shared_ptr<NSManagedObject>& object) const {
    if (!object) return false;
    return evaluate([&](const std::string& key) { return object->primitiveValueForKey(key); });
}

std::shared_ptr<NSPredicate> NSPredicate::boundToEntity(const NSEntityDescription& entity, NSErrorPtr* error) const {
    auto fail = [&](const std::string& reason) -> std::shared_ptr<NSPredicate> {
        if (error)
            *error = coredata::makeError(NSCoreDataError, "The predicate " + predicateFormat() + " cannot be used with the entity " +
                                                              entity.name() + ": " + reason);
        return nullptr;
    };
    switch (kind_) {
    case Kind::True:
    case Kind::False: return predicateWithValue(kind_ == Kind::True);
    case Kind::Comparison: {
        const NSAttributeDescription* la = left_.isKey ? entity.attributeNamed(left_.key) : nullptr;
        const NSAttributeDescription* ra = right_.isKey ? entity.attributeNamed(right_.key) : nullptr;
        if (left_.isKey && !la) return fail("unknown key " + left_.key);
        if (right_.isKey && !ra) return fail("unknown key " + right_.key);
        Operand l = left_, r = right_;
        std::string reason;
        if (la && ra) {
            if (!comparableTypes(*la, *ra)) return fail(left_.key + " and " + right_.key + " cannot be compared");
        } else if (la) {
            auto v = constantFor(*la, right_.constant, reason);
            if (!v) return fail("the value for " + left_.key + " does not fit: " + reason);
            r.constant = *v;
        } else if (ra) {
            auto v = constantFor(*ra, left_.constant, reason);
            if (!v) return fail("the value for " + right_.key + " does not fit: " + reason);
            l.constant = *v;
        }
        return comparison(std::move(l), op_, std::move(r));
    }
    case Kind::And:
    case Kind::Or:
    case Kind::Not: {
        std::vector<std::shared_ptr<NSPredicate>> subs;
        for (const auto& s : subs_) {
            auto b = s->boundToEntity(entity, error);
            if (!b) return nullptr;
            subs.push_back(std::move(b));
        }
        if (kind_ == Kind::Not) return notPredicateWithSubpredicate(subs.front());
        return kind_ == Kind::And ? andPredicateWithSubpredicates(std::move(subs))
                                  : orPredicateWithSubpredicates(std::move(subs));
    }
    }
    return nullptr;
}

std::string NSPredicate::predicateFormat() const {
    switch (kind_) {
    case Kind::True: return "TRUEPREDICATE";
    case Kind::False: return "FALSEPREDICATE";
    case Kind::Comparison: return operandText(left_) + " " + operatorText(op_) + " " + operandText(right_);
    case Kind::Not: {
        const auto& sub = subs_.front();
        bool compound = sub->kind_ == Kind::And || sub->kind_ == Kind::Or;
        return "NOT " + (compound ? "(" + sub->predicateFormat() + ")" : sub->predicateFormat());
    }
    case Kind::And:
    case Kind::Or: {
        if (subs_.empty()) return kind_ == Kind::And ? "TRUEPREDICATE" : "FALSEPREDICATE";
        std::string out;
        for (std::size_t i = 0; i < subs_.size(); ++i) {
            if (i) out += kind_ == Kind::And ? " AND " : " OR ";
            bool compound = subs_[i]->kind_ == Kind::And || subs_[i]->kind_ == Kind::Or;
            out += compound ? "(" + subs_[i]->predicateFormat() + ")" : subs_[i]->predicateFormat();
        }
        return out;
    }
    }
    return {};
}
