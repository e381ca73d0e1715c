#include "platform/uikit/UILayoutEngine.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/LayoutSolver.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIView.h"

namespace {
using Expr = LayoutSolver::Expression;
using Relation = LayoutSolver::Relation;

// The weight of an element's current frame: below every priority.
constexpr double kStayWeight = 1.0e-3;

thread_local int passDepth = 0;

std::vector<std::weak_ptr<NSLayoutConstraint>>& reported() {
    static auto* list = new std::vector<std::weak_ptr<NSLayoutConstraint>>();
    return *list;
}

void reportConflict(const std::shared_ptr<NSLayoutConstraint>& c) {
    auto& list = reported();
    std::erase_if(list, [](const auto& w) { return w.expired(); });
    if (std::any_of(list.begin(), list.end(), [&](const auto& w) { return w.lock() == c; })) return;
    list.push_back(c);
    NSLogLine("Unable to simultaneously satisfy constraints.\n\tWill attempt to recover by breaking constraint \n" +
              c->description());
}

double weightOf(UILayoutPriority priority) { return priority >= UILayoutPriorityRequired ? 0.0 : double(priority); }

struct Box {
    std::shared_ptr<UIView> view;
    const Box* parent = nullptr;
    LayoutSolver::Variable left = 0, top = 0, width = 0, height = 0;
};

class TreeSolve {
public:
    explicit TreeSolve(UIView& root) : root_(root) {}

    void run(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
        std::vector<std::shared_ptr<NSLayoutConstraint>> usable;
        for (const auto& c : constraints) {
            auto first = c->firstItem(), second = c->secondItem();
            if (!inTree(first) || (second && !inTree(second))) continue;  // an item left the tree
            box(first);
            if (second) box(second);
            usable.push_back(c);
        }
        for (const auto& b : order_) hold(*b, true);
        for (const auto& c : usable) addUserConstraint(c);
        for (const auto& b : order_) intrinsic(*b);
        for (const auto& b : order_) hold(*b, false);
        apply();
    }

private:
    bool inTree(const std::shared_ptr<UIView>& v) const { return v && v->isDescendantOfView(&root_); }

    const Box& box(const std::shared_ptr<UIView>& view) {
        if (auto it = boxes_.find(view.get()); it != boxes_.end()) return *it->second;
        const Box* parent = view.get() == &root_ ? nullptr : &box(view->superview());
        auto b = std::make_unique<Box>();
        b->view = view;
        b->parent = parent;
        b->left = solver_.newVariable();
        b->top = solver_.newVariable();
        b->width = solver_.newVariable();
        b->height = solver_.newVariable();
        const Box& ref = *b;
        order_.push_back(b.get());
        boxes_[view.get()] = std::move(b);
        return ref;
    }

    bool placedBySolution(const Box& b) const {
        return b.parent && !b.view->translatesAutoresizingMaskIntoConstraints();
    }

    // Holds the box at its current frame: required for frame-laid views (first
    // pass), weakest for solved ones (last pass).
    void hold(const Box& b, bool requiredPass) {
        if (placedBySolution(b) == requiredPass) return;
        double weight = requiredPass ? 0 : kStayWeight;
        CGRect f = b.view->frame();
        CGPoint origin = f.origin;
        if (!b.parent) origin = b.view->bounds().origin, f.size = b.view->bounds().size;
        Expr x, y, w, h;
        x.add(b.left, 1).constant = -origin.x;
        y.add(b.top, 1).constant = -origin.y;
        if (b.parent) {
            CGPoint parentOrigin = b.parent->view->bounds().origin;
            x.add(b.parent->left, -1).constant += parentOrigin.x;
            y.add(b.parent->top, -1).constant += parentOrigin.y;
        }
        w.add(b.width, 1).constant = -f.size.width;
        h.add(b.height, 1).constant = -f.size.height;
        for (auto* e : {&x, &y, &w, &h}) (void)solver_.addConstraint(*e, Relation::Equal, weight);  // frames of one tree agree
    }

    Expr attribute(const Box& b, NSLayoutAttribute a) const {
        Expr e;
        switch (a) {
        case NSLayoutAttributeLeft:
        case NSLayoutAttributeLeading: e.add(b.left, 1); break;
        case NSLayoutAttributeRight:
        case NSLayoutAttributeTrailing: e.add(b.left, 1).add(b.width, 1); break;
        case NSLayoutAttributeTop: e.add(b.top, 1); break;
        case NSLayoutAttributeBottom:
        case NSLayoutAttributeBaseline: e.add(b.top, 1).add(b.height, 1); break;
        case NSLayoutAttributeWidth: e.add(b.width, 1); break;
        case NSLayoutAttributeHeight: e.add(b.height, 1); break;
        case NSLayoutAttributeCenterX: e.add(b.left, 1).add(b.width, 0.5); break;
        case NSLayoutAttributeCenterY: e.add(b.top, 1).add(b.height, 0.5); break;
        case NSLayoutAttributeNotAnAttribute: break;
        }
        return e;
    }

    void addUserConstraint(const std::shared_ptr<NSLayoutConstraint>& c) {
        Expr e = attribute(box(c->firstItem()), c->firstAttribute());
        if (auto second = c->secondItem()) e.add(attribute(box(second), c->secondAttribute()), -c->multiplier());
        e.constant -= c->constant();
        Relation r = c->relation() == NSLayoutRelationEqual            ? Relation::Equal
                     : c->relation() == NSLayoutRelationLessThanOrEqual ? Relation::LessOrEqual
                                                                        : Relation::GreaterOrEqual;
        if (!solver_.addConstraint(e, r, weightOf(c->priority()))) reportConflict(c);
    }

    void intrinsic(const Box& b) {
        if (!placedBySolution(b)) return;
        CGSize size = b.view->intrinsicContentSize();
        auto axis = [&](CGFloat length, LayoutSolver::Variable v, UILayoutConstraintAxis a) {
            if (length < 0) return;
            Expr e;
            e.add(v, 1).constant = -length;
            // A required hugging or resistance that cannot hold gives way quietly.
            (void)solver_.addConstraint(e, Relation::LessOrEqual, weightOf(b.view->contentHuggingPriorityForAxis(a)));
            (void)solver_.addConstraint(e, Relation::GreaterOrEqual,
                                        weightOf(b.view->contentCompressionResistancePriorityForAxis(a)));
        };
        axis(size.width, b.width, UILayoutConstraintAxisHorizontal);
        axis(size.height, b.height, UILayoutConstraintAxisVertical);
    }

    void apply() {
        CGFloat scale = UIScreen::mainScreen()->scale();
        if (!(scale > 0)) scale = 1;
        auto px = [&](double v) { return std::round(v * scale) / scale; };
        for (const Box* b : order_) {  // parents before children
            if (!placedBySolution(*b)) continue;
            CGPoint parentOrigin = b->parent->view->bounds().origin;
            double left = solver_.value(b->left), top = solver_.value(b->top);
            double x = px(left - solver_.value(b->parent->left) + parentOrigin.x);
            double y = px(top - solver_.value(b->parent->top) + parentOrigin.y);
            double w = std::max(0.0, px(left + solver_.value(b->width)) - px(left));
            double h = std::max(0.0, px(top + solver_.value(b->height)) - px(top));
            CGRect target = CGRectMake(x, y, w, h);
            if (!CGRectEqualToRect(target, b->view->frame())) b->view->setFrame(target);
        }
    }

    UIView& root_;
    LayoutSolver solver_;
    std::map<const UIView*, std::unique_ptr<Box>> boxes_;
    std::vector<const Box*> order_;
};

void collect(const UIView& view, std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints, bool& dirty) {
    dirty = dirty || view.needsLayout();
    for (const auto& c : view.constraints()) constraints.push_back(c);
    for (const auto& s : view.subviews()) collect(*s, constraints, dirty);
}
}  // namespace

UILayoutEngine::Pass::Pass(UIView& view) {
    if (passDepth++ > 0) return;
    UIView* root = &view;
    while (auto parent = root->superview()) root = parent.get();  // the tree keeps its views
    solve(*root);
}

UILayoutEngine::Pass::~Pass() { --passDepth; }

void UILayoutEngine::solve(UIView& root) {
    std::vector<std::shared_ptr<NSLayoutConstraint>> constraints;
    bool dirty = false;
    collect(root, constraints, dirty);
    if (constraints.empty() || !dirty) return;
    TreeSolve(root).run(constraints);
}
