#include "PasswordHash.h"
#include <QApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

// Every test binary runs inside one QApplication on the offscreen platform so
// that real windows can be built and driven without a display.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The many test databases hash their passwords at the lowest cost.
    // Settings and standard folders of the tests are their own, never the user's.
    QStandardPaths::setTestModeEnabled(true);
    corvane::PasswordHash::setCost(corvane::PasswordHash::Cost::Minimum);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
