#include <QCoreApplication>
#include <gtest/gtest.h>

// Test main of the logic libraries: a QCoreApplication (events, timers, serial
// ports) and no widgets, so that a test linking it shows the code under test
// needs none.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
