// Runs the window's tests on a QApplication of the offscreen platform, with
// a private runtime folder of the program's own (CI has none).
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/TempStore.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::TempRuntimeDir runtime;
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
