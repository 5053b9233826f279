#pragma once

// Runs the test program's cases: hermetic, headless, with a QApplication.
int RunTests(int argc, char** argv);
