#include <QApplication>
#include <csignal>
#include <gtest/gtest.h>

// One application object for the whole run. Without a display the offscreen platform is
// used, so plain ctest runs headless; the drag-and-drop tests are run under Xvfb with xcb.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // As in the program: a write past the file-size limit fails instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
