// The main of the toolbar tests.

#include <gtest/gtest.h>

#include "framework/widgets/Application.h"

// Widget tests need one application object for the whole program.
int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    tessel::TApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
