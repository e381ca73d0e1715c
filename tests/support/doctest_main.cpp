// Protects every test executable's start: the process preparation, the sanitizers' suppressions and the doctest run.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include "support/TestEnvironment.h"

// Read by the leak checker of sanitized builds. Fontconfig (under the text
// layout) keeps parts of its font patterns behind encoded offsets that the
// checker cannot follow, so what it holds for the life of the process reads as leaked.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
// Read by the thread checker (one definition per program: the application's
// main holds the same list). Pango matches fonts on threads of its own and
// hands the patterns over through GLib's futex-based locks, which the checker
// does not see; what it reports there is that hand-over, inside those
// libraries. The HTTP library of the device screen comes uninstrumented: the
// checker cannot see the guards of its function-local statics.
extern "C" const char* __tsan_default_suppressions() {
    return "race:FcValueSave\nrace:libfontconfig.so\nrace:libpangoft2-1.0.so\ncalled_from_lib:libcpp-httplib.so\n";
}

int main(int argc, char** argv) {
    testsupport::prepareProcess(argc, argv);
    doctest::Context context;
    context.applyCommandLine(argc, argv);
    return context.run();
}
