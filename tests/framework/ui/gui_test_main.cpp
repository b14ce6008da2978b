#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {

// The offscreen platform warns that it cannot pass size hints on; that says nothing about our code.
void quietOffscreenNoise(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (message.contains(u"does not support propagateSizeHints"))
        return;
    fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

} // namespace

// Suites that show widgets get a full application object; they run on the offscreen platform.
int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietOffscreenNoise);
    QTemporaryDir runtimeDir; // Qt wants a private runtime folder and complains when there is none
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
