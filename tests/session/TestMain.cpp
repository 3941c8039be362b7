#include <gtest/gtest.h>

#ifdef TESSALY_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

// The session and the panels run on an application object's event loop; listing the tests at
// build time needs none, and may happen where there is no display.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
#ifdef TESSALY_TEST_WIDGETS
    // Dialogs need widgets, not a screen: the offscreen platform spares these tests the X
    // keyboard library, which AddressSanitizer flags on connecting.
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
