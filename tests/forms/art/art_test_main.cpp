// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QGuiApplication>

// Text rendering needs an application object; listing the tests does not, and then runs
// without a display.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
