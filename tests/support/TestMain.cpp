#include <QApplication>
#include <gtest/gtest.h>

// Every test binary runs inside one QApplication on the offscreen platform so
// that real windows can be built and driven without a display.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
