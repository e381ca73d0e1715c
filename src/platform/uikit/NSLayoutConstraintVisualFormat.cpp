// The visual format language of layout constraints: a parser into views and
// connections, then the constraints they stand for.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIView.h"

namespace {

constexpr CGFloat kStandardSpacing = 8;
constexpr CGFloat kStandardSuperviewSpacing = 20;

struct Predicate {
    NSLayoutRelation relation = NSLayoutRelationEqual;
    std::optional<CGFloat> constant;  // or a view:
    std::shared_ptr<UIView> view;
    UILayoutPriority priority = UILayoutPriorityRequired;
};

struct Connection {
    bool standard = false;            // "-": the standard space
    std::vector<Predicate> predicates;  // empty and not standard: flush (0)
};

struct ViewEntry {
    std::shared_ptr<UIView> view;
    std::vector<Predicate> predicates;
};

struct Parsed {
    bool vertical = false;
    std::optional<Connection> leading;   // set when the format starts at the superview "|"
    std::vector<ViewEntry> views;
    std::vector<Connection> between;     // between views[i] and views[i + 1]
    std::optional<Connection> trailing;  // set when the format ends at the superview
};

class Parser {
public:
    Parser(const std::string& format, const NSLayoutConstraint::Metrics& metrics, const NSLayoutConstraint::Views& views)
        : f_(format), metrics_(metrics), views_(views) {}

    Parsed parse() {
        Parsed p;
        skipSpaces();
        if (f_.compare(pos_, 2, "H:") == 0) {
            pos_ += 2;
        } else if (f_.compare(pos_, 2, "V:") == 0) {
            p.vertical = true;
            pos_ += 2;
        }
        skipSpaces();
        if (peek() == '|') {
            ++pos_;
            p.leading = connection(true);
        }
        p.views.push_back(view());
        for (;;) {
            skipSpaces();
            if (atEnd()) break;
            Connection c = connection(false);
            skipSpaces();
            if (peek() == '|') {
                ++pos_;
                p.trailing = c;
                skipSpaces();
                if (!atEnd()) fail("Expected the end of the format after '|'");
                break;
            }
            p.between.push_back(c);
            p.views.push_back(view());
        }
        return p;
    }

    [[noreturn]] void fail(const std::string& what) const {
        std::string reason = "Unable to parse constraint format: \n" + what + " \n" + f_ + " \n" +
                             std::string(pos_, ' ') + "^";
        throw LayoutConstraintException("NSInvalidArgumentException", reason, pos_);
    }

private:
    bool atEnd() const { return pos_ >= f_.size(); }
    char peek() const { return atEnd() ? '\0' : f_[pos_]; }
    void skipSpaces() {
        while (!atEnd() && f_[pos_] == ' ') ++pos_;
    }
    void expect(char c, const char* what) {
        skipSpaces();
        if (peek() != c) fail(what);
        ++pos_;
    }

    std::string identifier() {
        std::size_t start = pos_;
        if (!atEnd() && (std::isalpha(static_cast<unsigned char>(f_[pos_])) || f_[pos_] == '_')) {
            ++pos_;
            while (!atEnd() && (std::isalnum(static_cast<unsigned char>(f_[pos_])) || f_[pos_] == '_')) ++pos_;
        }
        return f_.substr(start, pos_ - start);
    }

    std::optional<CGFloat> number() {
        const char* begin = f_.c_str() + pos_;
        if (!(std::isdigit(static_cast<unsigned char>(*begin)) || *begin == '.' || *begin == '-' || *begin == '+'))
            return std::nullopt;
        char* end = nullptr;
        double v = std::strtod(begin, &end);
        if (end == begin || !std::isfinite(v)) return std::nullopt;
        pos_ += static_cast<std::size_t>(end - begin);
        return v;
    }

    // A number or a metric name.
    CGFloat constantValue(bool allowView, std::shared_ptr<UIView>* viewOut) {
        skipSpaces();
        if (auto n = number()) return *n;
        std::size_t start = pos_;
        std::string name = identifier();
        if (name.empty()) fail("Expected a number or a metric name");
        if (auto m = metrics_.find(name); m != metrics_.end()) return m->second;
        if (allowView && viewOut) {
            if (auto v = views_.find(name); v != views_.end()) {
                *viewOut = v->second;
                return 0;
            }
        }
        pos_ = start;
        fail(name + " is not a key in the metrics dictionary" + (allowView ? " or the views dictionary" : ""));
    }

    Predicate predicate(bool allowView) {
        Predicate p;
        skipSpaces();
        if (f_.compare(pos_, 2, "==") == 0) pos_ += 2;
        else if (f_.compare(pos_, 2, "<=") == 0) p.relation = NSLayoutRelationLessThanOrEqual, pos_ += 2;
        else if (f_.compare(pos_, 2, ">=") == 0) p.relation = NSLayoutRelationGreaterThanOrEqual, pos_ += 2;
        std::shared_ptr<UIView> view;
        CGFloat value = constantValue(allowView, &view);
        if (view) p.view = view;
        else p.constant = value;
        skipSpaces();
        if (peek() == '@') {
            ++pos_;
            std::size_t at = pos_;
            CGFloat priority = constantValue(false, nullptr);
            if (!(priority >= 1 && priority <= 1000)) {
                pos_ = at;
                fail("A priority must lie between 1 and 1000");
            }
            p.priority = static_cast<UILayoutPriority>(priority);
        }
        return p;
    }

    std::vector<Predicate> predicateList(bool allowView) {
        std::vector<Predicate> list;
        expect('(', "Expected '('");
        for (;;) {
            list.push_back(predicate(allowView));
            skipSpaces();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            expect(')', "Expected ')' or ','");
            return list;
        }
    }

    ViewEntry view() {
        skipSpaces();
        if (peek() != '[') fail("Expected a view");
        ++pos_;
        skipSpaces();
        std::size_t start = pos_;
        std::string name = identifier();
        if (name.empty()) fail("Expected a view name");
        auto it = views_.find(name);
        if (it == views_.end() || !it->second) {
            pos_ = start;
            fail(name + " is not a key in the views dictionary");
        }
        ViewEntry entry{it->second, {}};
        skipSpaces();
        if (peek() == '(') entry.predicates = predicateList(true);
        expect(']', "Expected ']'");
        return entry;
    }

    // After a view or a leading "|": flush, "-", -N- or -(...)-.
    Connection connection(bool afterSuperview) {
        Connection c;
        skipSpaces();
        if (peek() == '[' || (!afterSuperview && peek() == '|')) return c;  // flush
        if (peek() != '-') fail(afterSuperview ? "Expected '-' or a view" : "Expected '-', a view or '|'");
        ++pos_;
        skipSpaces();
        if (peek() == '[' || peek() == '|') {
            c.standard = true;
            return c;
        }
        if (peek() == '(') c.predicates = predicateList(false);
        else c.predicates.push_back(predicate(false));
        expect('-', "Expected '-'");
        return c;
    }

    const std::string& f_;
    const NSLayoutConstraint::Metrics& metrics_;
    const NSLayoutConstraint::Views& views_;
    std::size_t pos_ = 0;
};

using ConstraintList = std::vector<std::shared_ptr<NSLayoutConstraint>>;

struct Edges {
    NSLayoutAttribute lead, trail, size;
    bool rightToLeft;
};

// "later.lead relation earlier.trail + c", or for right to left "earlier.left relation later.right + c".
void addSpacing(ConstraintList& out, const std::shared_ptr<UIView>& earlier, NSLayoutAttribute earlierEdge,
                const std::shared_ptr<UIView>& later, NSLayoutAttribute laterEdge, const Connection& c,
                CGFloat standard, bool earlierIsFirstItem) {
    std::vector<Predicate> preds = c.predicates;
    if (preds.empty()) {
        Predicate p;
        p.constant = c.standard ? standard : 0;
        preds.push_back(p);
    }
    for (auto& p : preds) {
        auto k = earlierIsFirstItem
                     ? NSLayoutConstraint::constraintWithItem(earlier, earlierEdge, p.relation, later, laterEdge, 1,
                                                              *p.constant)
                     : NSLayoutConstraint::constraintWithItem(later, laterEdge, p.relation, earlier, earlierEdge, 1,
                                                              *p.constant);
        if (p.priority != UILayoutPriorityRequired) k->setPriority(p.priority);
        out.push_back(k);
    }
}

void checkAlignment(NSLayoutFormatOptions options, bool vertical) {
    NSLayoutFormatOptions horizontalEdges = NSLayoutFormatAlignAllLeft | NSLayoutFormatAlignAllRight |
                                            NSLayoutFormatAlignAllLeading | NSLayoutFormatAlignAllTrailing |
                                            NSLayoutFormatAlignAllCenterX;
    NSLayoutFormatOptions align = options & NSLayoutFormatAlignmentMask;
    if (!vertical && (align & horizontalEdges))
        throw LayoutConstraintException("NSInvalidArgumentException",
                                        "Options mask required views to be aligned on a horizontal edge, which is not "
                                        "allowed for layout that is also horizontal.");
    if (vertical && (align & ~horizontalEdges))
        throw LayoutConstraintException("NSInvalidArgumentException",
                                        "Options mask required views to be aligned on a vertical edge, which is not "
                                        "allowed for layout that is also vertical.");
    if ((options & NSLayoutFormatDirectionMask) == NSLayoutFormatDirectionMask)
        throw LayoutConstraintException("NSInvalidArgumentException", "Unknown layout direction in the options mask.");
}

}  // namespace

std::vector<std::shared_ptr<NSLayoutConstraint>> NSLayoutConstraint::constraintsWithVisualFormat(
    const std::string& format, NSLayoutFormatOptions options, const Metrics& metrics, const Views& views) {
    Parser parser(format, metrics, views);
    Parsed p = parser.parse();
    checkAlignment(options, p.vertical);

    NSLayoutFormatOptions direction = options & NSLayoutFormatDirectionMask;
    Edges e{NSLayoutAttributeTop, NSLayoutAttributeBottom, NSLayoutAttributeHeight, false};
    if (!p.vertical) {
        if (direction == NSLayoutFormatDirectionLeftToRight)
            e = {NSLayoutAttributeLeft, NSLayoutAttributeRight, NSLayoutAttributeWidth, false};
        else if (direction == NSLayoutFormatDirectionRightToLeft)
            e = {NSLayoutAttributeLeft, NSLayoutAttributeRight, NSLayoutAttributeWidth, true};
        else
            e = {NSLayoutAttributeLeading, NSLayoutAttributeTrailing, NSLayoutAttributeWidth, false};
    }

    ConstraintList out;
    // Sizes of the views.
    for (auto& v : p.views) {
        for (auto& pr : v.predicates) {
            auto k = pr.view ? constraintWithItem(v.view, e.size, pr.relation, pr.view, e.size, 1, 0)
                             : constraintWithItem(v.view, e.size, pr.relation, nullptr, NSLayoutAttributeNotAnAttribute,
                                                  1, *pr.constant);
            if (pr.priority != UILayoutPriorityRequired) k->setPriority(pr.priority);
            out.push_back(k);
        }
    }
    // Spaces: left to right "later.left == earlier.right + c"; right to left the
    // earlier view stands on the right: "earlier.left == later.right + c".
    auto space = [&](const std::shared_ptr<UIView>& earlier, const std::shared_ptr<UIView>& later,
                     const Connection& c, CGFloat standard) {
        if (e.rightToLeft) addSpacing(out, earlier, e.lead, later, e.trail, c, standard, true);
        else addSpacing(out, earlier, e.trail, later, e.lead, c, standard, false);
    };
    auto superviewOf = [&](const std::shared_ptr<UIView>& v) {
        auto s = v->superview();
        if (!s)
            throw LayoutConstraintException("NSInvalidArgumentException",
                                            "Unable to interpret '|' character, because the related view doesn't "
                                            "have a superview");
        return s;
    };
    if (p.leading) {
        auto first = p.views.front().view;
        auto sup = superviewOf(first);
        // The superview's leading edge comes first in reading order.
        if (e.rightToLeft) addSpacing(out, sup, e.trail, first, e.trail, *p.leading, kStandardSuperviewSpacing, true);
        else addSpacing(out, sup, e.lead, first, e.lead, *p.leading, kStandardSuperviewSpacing, false);
    }
    for (std::size_t i = 0; i < p.between.size(); ++i)
        space(p.views[i].view, p.views[i + 1].view, p.between[i], kStandardSpacing);
    if (p.trailing) {
        auto last = p.views.back().view;
        auto sup = superviewOf(last);
        if (e.rightToLeft) addSpacing(out, last, e.lead, sup, e.lead, *p.trailing, kStandardSuperviewSpacing, true);
        else addSpacing(out, last, e.trail, sup, e.trail, *p.trailing, kStandardSuperviewSpacing, false);
    }
    // Alignment of every view with the one before it.
    NSLayoutFormatOptions align = options & NSLayoutFormatAlignmentMask;
    for (long attr = NSLayoutAttributeLeft; attr <= NSLayoutAttributeBaseline; ++attr) {
        if (!(align & (NSLayoutFormatOptions(1) << attr))) continue;
        for (std::size_t i = 1; i < p.views.size(); ++i)
            out.push_back(constraintWithItem(p.views[i].view, NSLayoutAttribute(attr), NSLayoutRelationEqual,
                                             p.views[i - 1].view, NSLayoutAttribute(attr), 1, 0));
    }
    return out;
}
