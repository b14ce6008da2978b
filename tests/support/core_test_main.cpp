#include <gtest/gtest.h>

#include <QCoreApplication>

#include "framework/remote/net_connection.h"

// Qt's database and event classes need an application object; non-visual suites get a core one.
int main(int argc, char **argv) {
    // The suites play the host and run the server, in their own process and as programs.
    bco::ignoreBrokenPipes();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
