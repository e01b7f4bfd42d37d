#include "PasswordHash.h"
#include <QCoreApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

// The main of the tests of the logic libraries: a QCoreApplication and no
// widgets, so these tests prove that the logic runs without a display.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The many test databases hash their passwords at the lowest cost.
    corvane::PasswordHash::setCost(corvane::PasswordHash::Cost::Minimum);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
