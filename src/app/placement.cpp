#include "placement.h"

#include <algorithm>

bool IsUsablePlacement(const CWindowPlacement& stored, int workWidth, int workHeight) {
    // Only the position's own range is tested, not x + cx or y + cy.
    return stored.cx > 0 && stored.cy > 0 && stored.x >= 0 && stored.y >= 0 &&
           stored.cx <= workWidth && stored.cy <= workHeight && stored.x <= workWidth &&
           stored.y <= workHeight;
}

CWindowPlacement CentredPlacement(int workWidth, int workHeight, int readableWidth) {
    CWindowPlacement placement;
    placement.cx = std::min(std::max(static_cast<int>(workWidth * 0.75), readableWidth), workWidth);
    placement.cy = static_cast<int>(workHeight * 0.75);
    placement.x = (workWidth - placement.cx) / 2;
    placement.y = (workHeight - placement.cy) / 2;
    return placement;
}

int ReadableWindowWidth(int averageCharWidth) {
    // Four columns of 9/40 of the grid each, and two characters' room for the frames.
    constexpr int kCharsPerColumn = 24;
    return (4 * kCharsPerColumn * averageCharWidth) * 40 / 36 + 2 * averageCharWidth;
}

int UpperRowHeight(int stored, int clientHeight) {
    if (stored < 1 || stored >= clientHeight) {
        return clientHeight / 2;
    }
    return stored;
}
