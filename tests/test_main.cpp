#include "AccessibleDescriptionFilter.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Tests draw off screen unless a test run asks for a real display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The application comes first: table tests build their rows, with Qt encoding some of
    // their files, when Google Test registers them.
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    AccessibleDescriptionFilter::install();
    return RUN_ALL_TESTS();
}
