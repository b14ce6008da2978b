#include <gtest/gtest.h>

#include <QCoreApplication>

// Qt's database and event classes need an application object; non-visual suites get a core one.
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
