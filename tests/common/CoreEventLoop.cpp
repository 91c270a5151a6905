// One QCoreApplication per test process of the suites that link this file: the classes under test
// run their queued calls on its thread.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>

namespace {

class EventLoopEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "core_test";
        static char* argv[] = {name, nullptr};
        m_application = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { m_application.reset(); }

private:
    std::unique_ptr<QCoreApplication> m_application;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new EventLoopEnvironment);

} // namespace
