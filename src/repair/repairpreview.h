#pragma once

#include <string>
#include <vector>

// What a repair walk would do to each page, kept instead of written: the console prints it as
// a unified diff (--dry-run), the window lists it for review before anything is written.
class CRepairPreview {
public:
    struct CPageChange {
        std::string path;
        std::string before;
        std::string after;
        // The rows whose links the change rewrites.
        std::vector<int> rows;
    };

    void Add(CPageChange change) { m_changes.push_back(std::move(change)); }
    const std::vector<CPageChange>& Changes() const { return m_changes; }
    // Every change as one unified diff, pages in the walk's order.
    std::string UnifiedDiff() const;

private:
    std::vector<CPageChange> m_changes;
};

// The change of one page as a unified diff in git's form (diff --git a/PATH b/PATH, three
// lines of context), its bytes as they are whatever the page holds; empty when nothing changes.
// An absolute path loses its leading "/", so that `patch -p1` run at "/" applies it.
std::string UnifiedDiff(const std::string& path, const std::string& before,
                        const std::string& after);
