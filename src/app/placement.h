#pragma once

// Where the main window opens: the stored placement when it lies on the work area, else
// three quarters of the work area, centred (and then written back), but never narrower than
// the width the grid's columns need to be read, as far as the work area allows: on a screen
// scaled up, three quarters of its few logical pixels would cut every column short.
struct CWindowPlacement {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

// True when the stored placement is used as it is.
bool IsUsablePlacement(const CWindowPlacement& stored, int workWidth, int workHeight);
CWindowPlacement CentredPlacement(int workWidth, int workHeight, int readableWidth = 0);
// The window width at which each of the grid's four first-start columns holds some 24
// characters of the grid's font.
int ReadableWindowWidth(int averageCharWidth);

// The height of the splitter's upper row: the stored one, unless it lies outside
// 1 .. client height - 1, when it is half the client height.
int UpperRowHeight(int stored, int clientHeight);
