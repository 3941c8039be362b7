// The GL tests need one QApplication made after the shared-context setup. It is made when the
// tests run, not when CTest merely lists them at build time, where there may be no display.
#include "preview/gl/OpenGLSetup.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <cstring>
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
        keepGraphicsDriversLoaded();
        application_.reset();
    }

    // Mesa unloads its driver with the last context. Its allocations that live for the whole
    // process would then be reported as leaks from an unknown module, out of reach of the
    // suppressions that name the driver; keeping it loaded keeps them attributable.
    static void keepGraphicsDriversLoaded() {
        dl_iterate_phdr(
            [](dl_phdr_info* info, std::size_t, void*) {
                const char* name = info->dlpi_name;
                if (name && (std::strstr(name, "/dri/") || std::strstr(name, "libgallium") ||
                             std::strstr(name, "libLLVM") || std::strstr(name, "libGLX_mesa"))) {
                    dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
                }
                return 0;
            },
            nullptr);
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
