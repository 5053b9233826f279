#include "placement.h"

bool IsUsablePlacement(const CWindowPlacement& stored, int workWidth, int workHeight) {
    // Only the position's own range is tested, not x + cx or y + cy.
    return stored.cx > 0 && stored.cy > 0 && stored.x >= 0 && stored.y >= 0 &&
           stored.cx <= workWidth && stored.cy <= workHeight && stored.x <= workWidth &&
           stored.y <= workHeight;
}

CWindowPlacement CentredPlacement(int workWidth, int workHeight) {
    CWindowPlacement placement;
    placement.cx = static_cast<int>(workWidth * 0.75);
    placement.cy = static_cast<int>(workHeight * 0.75);
    placement.x = (workWidth - placement.cx) / 2;
    placement.y = (workHeight - placement.cy) / 2;
    return placement;
}

int UpperRowHeight(int stored, int clientHeight) {
    if (stored < 1 || stored >= clientHeight) {
        return clientHeight / 2;
    }
    return stored;
}
