// Any test of this executable may bring the process-wide image manager into
// being without asking for it (a transfer asks it for its cache key), and the
// manager's cache takes whatever home is current at that moment: the default
// one outside a test home, where posters would outlive the run and answer a
// later run's loopback URL that happens to reuse the port. So the run starts by
// making it in the test process's own home (see SharedStack.h). A home given
// from outside (a second process a test starts on its home) is left as it is.
#include <doctest/doctest.h>

#include <cstdlib>

#include "SharedStack.h"

namespace {

struct SharedStackFirst : doctest::IReporter {
    explicit SharedStackFirst(const doctest::ContextOptions&) {}

    void test_run_start() override {
        if (!std::getenv("QUORVANE_HOME")) imagetests::sharedStack();
    }

    void report_query(const doctest::QueryData&) override {}
    void test_run_end(const doctest::TestRunStats&) override {}
    void test_case_start(const doctest::TestCaseData&) override {}
    void test_case_reenter(const doctest::TestCaseData&) override {}
    void test_case_end(const doctest::CurrentTestCaseStats&) override {}
    void test_case_exception(const doctest::TestCaseException&) override {}
    void subcase_start(const doctest::SubcaseSignature&) override {}
    void subcase_end() override {}
    void log_assert(const doctest::AssertData&) override {}
    void log_message(const doctest::MessageData&) override {}
    void test_case_skipped(const doctest::TestCaseData&) override {}
};

}  // namespace

REGISTER_LISTENER("imagecache-shared-stack-first", 1, SharedStackFirst);
