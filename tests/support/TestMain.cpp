#include <QApplication>
#include <QThreadPool>
#include <gtest/gtest.h>

// Every suite runs with a real QApplication on the offscreen platform, so widgets, fonts and
// timers behave as in the program without a display.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
#if defined(__SANITIZE_THREAD__)
    // Qt converts large pictures on its thread pool, whose threads pass their tasks along under
    // locks inside Qt that ThreadSanitizer cannot see; with one pool thread nothing is passed
    // between them.
    QThreadPool::globalInstance()->setMaxThreadCount(1);
#endif
    return RUN_ALL_TESTS();
}
