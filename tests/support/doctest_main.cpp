#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include "support/TestEnvironment.h"

int main(int argc, char** argv) {
    testsupport::prepareProcess(argc, argv);
    doctest::Context context;
    context.applyCommandLine(argc, argv);
    return context.run();
}
