#pragma once

// How many connections a run with many links in flight may hold open at once. Every connection
// is a descriptor, and so is every page read, the work file and each of the resolver's sockets:
// under a low limit on open files, connections taken without counting left pages that could not
// be opened and sockets that could not be made, reported as failures of good links.
class CDescriptorBudget {
public:
    // Kept for what is not a connection: the page being scanned and its work file, the pages
    // the HTML scanner's workers hold, the resolver's sockets, the report written at the end.
    static constexpr int kReserve = 16;

    // Raises the soft limit on open files to the hard one, then sets aside the descriptors
    // open now and the reserve.
    CDescriptorBudget();

    // At least 1, so that a run always makes progress.
    int Connections() const { return m_connections; }
    // A socket could not be made although the budget allowed it (descriptors held elsewhere):
    // no more than open connections from now on, so the link waits for one of them to end.
    void ShrinkTo(int open);

private:
    int m_connections;
};
