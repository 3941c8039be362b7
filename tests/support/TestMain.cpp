// The application object a test binary runs on, made when the tests run, not when CTest merely
// lists them at build time (where there may be no display):
//   TESSALY_TEST_APPLICATION 0  QCoreApplication
//   TESSALY_TEST_APPLICATION 1  QApplication on the offscreen platform (dialogs need widgets, not
//                               a screen, and are spared the X keyboard library ASan flags)
//   TESSALY_TEST_APPLICATION 2  QApplication on the display with shared OpenGL 3.3 core contexts
#include "support/GraphicsDrivers.h"

#include <QApplication>
#include <gtest/gtest.h>

#if TESSALY_TEST_APPLICATION == 2
#include "preview/gl/OpenGLSetup.h"
extern "C" {
#include <libavutil/log.h>
}
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
#if TESSALY_TEST_APPLICATION == 0
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
#else
#if TESSALY_TEST_APPLICATION == 1
    qputenv("QT_QPA_PLATFORM", "offscreen");
#else
    av_log_set_level(AV_LOG_QUIET);
    OpenGLSetup::prepareSharedContexts();
#endif
    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
        TestSupport::keepGraphicsDriversLoaded();
    }
    return result;
#endif
}
