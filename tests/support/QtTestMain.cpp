// main() for test programs that need a Qt application object: a QApplication on the headless
// platform, then every GoogleTest case. What the program keeps in the user's cache folder (what
// an FFmpeg offers) goes to the build folder instead.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
#ifdef KESTRINE_TEST_CACHE_HOME
    qputenv("XDG_CACHE_HOME", KESTRINE_TEST_CACHE_HOME);
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
