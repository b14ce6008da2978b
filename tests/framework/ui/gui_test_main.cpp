#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "framework/remote/net_connection.h"
#include "framework/text/portuguese.h"

namespace {

// The offscreen platform warns that it cannot pass size hints on, raise windows or grab the keyboard for a
// popup; that says nothing about our code.
void quietOffscreenNoise(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (message.contains(u"does not support propagateSizeHints") ||
        message.contains(u"does not support raise()") || message.contains(u"does not support grabbing"))
        return;
    fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

} // namespace

// Suites that show widgets get a full application object; they run on the offscreen platform.
int main(int argc, char **argv) {
    // The suites play the host and run the server in their own process.
    bco::ignoreBrokenPipes();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietOffscreenNoise);
    QTemporaryDir runtimeDir; // Qt wants a private runtime folder and complains when there is none
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    // What a case saves (a cheque's city, a form's options) goes to a folder of the run's own, never into the
    // settings of whoever runs the suites.
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir.path()));
    QApplication app(argc, argv);
    // The suites see what the operator sees: Brazilian Portuguese, Qt's own texts included.
    bco::speakBrazilianPortuguese();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
