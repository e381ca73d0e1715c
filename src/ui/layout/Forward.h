#pragma once
// The layout language's classes, for headers that only pass pointers.
class LYConstraintContext;
class LYLayout;
class LYVFLContext;
class LYVFLLayout;
class LYGroupContext;
class LYGroupImpl;
