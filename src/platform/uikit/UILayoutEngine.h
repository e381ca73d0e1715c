#pragma once
// Solves the layout constraints of a view tree in the layout pass.
//
// At the outermost layoutIfNeeded of a tree that holds constraints and has a
// view marked for layout, the constraints installed anywhere in the tree are
// solved together (LayoutSolver) before layoutSubviews runs:
// - every view a constraint names, and its ancestors, get a frame box in the
//   tree root's coordinates;
// - a view that translates its autoresizing mask into constraints (the
//   default) is held at its current frame (required), so scenes laid out by
//   frames keep their frames;
// - a view that does not is placed by the solution: installed constraints in
//   tree order (required ones must hold, others weigh by priority), its
//   intrinsic content size (hugging and compression resistance), and, weakest
//   of all, its current frame, so an under-constrained view stays where it is;
// - a required constraint that cannot hold with those before it is logged
//   ("Unable to simultaneously satisfy constraints.", once per constraint) and
//   dropped.
// Changing a constant, a priority, an intrinsic size or the installed set
// marks the tree and the next pass solves again. Frames are rounded to the
// screen's pixels. Layout directions are left to right (leading is left);
// a baseline is the bottom.
//
// Main thread only.

class UIView;

class UILayoutEngine {
public:
    // Held for the length of one layoutIfNeeded; the outermost one solves the
    // tree `view` belongs to.
    class Pass {
    public:
        explicit Pass(UIView& view);
        ~Pass();
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
    };
    // Solves the tree under `root` now, when it holds constraints.
    static void solve(UIView& root);
};
