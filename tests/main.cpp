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
    // A JACK server of a name no one uses: the tests find no server on a studio machine where
    // one runs under the default name (whose "system" output would be opened), nor one that
    // another run of the tests starts.
    qputenv("JACK_DEFAULT_SERVER",
            "airloom-tests-" + QByteArray::number(QCoreApplication::applicationPid()));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
