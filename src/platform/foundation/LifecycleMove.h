#pragma once
// One move of a lifecycle (a small machine of phases with allowed moves). Every
// moveTo checks and traces its move through here, so they all read alike.
//
//   if (checkLifecycleMove(allowed, tracing(), "progress overlay", {}, names[from], names[to],
//                          "the overlay moves only as its lifecycle allows"))
//       phase_ = next;
//
// With `trace` on, debug builds log "<subject>[ <detail>]: <from> -> <to>"; a
// move the lifecycle does not allow stops debug builds, after logging `rule`.
// Release builds do neither. The result says whether the move is allowed:
// whether a refused move still happens (in release builds) is the caller's.
// Nothing here throws: a trace line that cannot be written is lost, the move is not.
#include <string_view>

bool checkLifecycleMove(bool allowed, bool trace, std::string_view subject, std::string_view detail,
                        const char* from, const char* to, const char* rule) noexcept;
