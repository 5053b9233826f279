#include "support/testmain.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/temphome.h"

// Test discovery runs the program without CTest's environment, so the platform is set here:
// widget tests need no display. Whatever a test forgets, it never touches the user's own
// settings: the whole program runs with a system directory of its own.
int RunTests(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const CTempDir home;
    ::setenv("LINKVET_HOME", home.Path().c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
