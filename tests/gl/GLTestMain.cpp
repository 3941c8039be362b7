// The GL tests need one QApplication made after the shared-context setup. It is made when the
// tests run, not when CTest merely lists them at build time, where there may be no display.
#include "preview/gl/OpenGLSetup.h"
#include "support/GraphicsDrivers.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <memory>

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    ApplicationEnvironment(int argc, char** argv) : argc_(argc), argv_(argv) {}
    void SetUp() override {
        OpenGLSetup::prepareSharedContexts();
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        TestSupport::keepGraphicsDriversLoaded();
        application_.reset();
    }

private:
    int argc_;
    char** argv_;
    std::unique_ptr<QApplication> application_;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment(argc, argv));
    return RUN_ALL_TESTS();
}
