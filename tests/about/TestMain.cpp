// The main of the about box tests: one application object for the widgets.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Tessel");  // as the program names itself
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
