#pragma once

#include <cstdio>

#include "run/testrun.h"

// The run as the console drives it: no window, so the status panes are not shown.
class CConsoleRun : public CTestRun {
public:
    using CTestRun::CTestRun;
    ~CConsoleRun() override { ResetRun(false); }

protected:
    void SetStatusText(int, const std::string&) override {}
};
