#pragma once

// Where the main window opens: the stored placement when it lies on the work area, else
// three quarters of the work area, centred (and then written back).
struct CWindowPlacement {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

// True when the stored placement is used as it is.
bool IsUsablePlacement(const CWindowPlacement& stored, int workWidth, int workHeight);
CWindowPlacement CentredPlacement(int workWidth, int workHeight);

// The height of the splitter's upper row: the stored one, unless it lies outside
// 1 .. client height - 1, when it is half the client height.
int UpperRowHeight(int stored, int clientHeight);
