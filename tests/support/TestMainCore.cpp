#include <QCoreApplication>
#include <gtest/gtest.h>

// Test main of the logic libraries: a QCoreApplication, no widgets, then
// GoogleTest. Timers, serial ports and signals work as in the console.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
