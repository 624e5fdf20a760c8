#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>

// Tests that touch widgets or posted events run inside one offscreen QApplication.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
