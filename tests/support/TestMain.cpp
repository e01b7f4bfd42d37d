#include "PasswordHash.h"
#include <QApplication>
#include <gtest/gtest.h>

// Every test binary runs inside one QApplication on the offscreen platform so
// that real windows can be built and driven without a display.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The many test databases hash their passwords at the lowest cost.
    corvane::PasswordHash::setCost(corvane::PasswordHash::Cost::Minimum);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
