#pragma once
// The application's rotation answers, installed once at start-up (main thread)
// over the platform's:
// - a navigation controller passes each question, with its argument, to its top
//   controller and answers what that one answers (a navigation controller that
//   answers a question itself, as MyNavigationViewController does for
//   shouldAutorotate, keeps its own answer); an empty one answers as below;
// - every other controller that does not answer for itself allows all four
//   orientations on a tablet and portrait only on a phone (any device that does
//   not say it is a tablet), and always allows rotation to any of them.
void installRotationPolicy();
