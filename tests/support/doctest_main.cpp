#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include "support/TestEnvironment.h"

// Read by the leak checker of sanitized builds. Fontconfig (under the text
// layout) keeps parts of its font patterns behind encoded offsets that the
// checker cannot follow, so what it holds for the life of the process reads as leaked.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
    testsupport::prepareProcess(argc, argv);
    doctest::Context context;
    context.applyCommandLine(argc, argv);
    return context.run();
}
