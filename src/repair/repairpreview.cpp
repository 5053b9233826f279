#include "repairpreview.h"

#include <git2.h>

#include <memory>

namespace {

// libgit2 keeps global state, set up and torn down in pairs.
class CGitLibrary {
public:
    CGitLibrary() { git_libgit2_init(); }
    ~CGitLibrary() { git_libgit2_shutdown(); }
    CGitLibrary(const CGitLibrary&) = delete;
    CGitLibrary& operator=(const CGitLibrary&) = delete;
};

struct CPatchFree {
    void operator()(git_patch* patch) const { git_patch_free(patch); }
};

}  // namespace

std::string UnifiedDiff(const std::string& path, const std::string& before,
                        const std::string& after) {
    if (before == after) {
        return {};
    }
    const CGitLibrary library;
    const std::string label = path.starts_with('/') ? path.substr(1) : path;
    git_diff_options options;
    git_diff_options_init(&options, GIT_DIFF_OPTIONS_VERSION);
    // A page with a stray NUL byte is still a page: its lines are shown, not "binary files
    // differ".
    options.flags |= GIT_DIFF_FORCE_TEXT;
    git_patch* made = nullptr;
    if (git_patch_from_buffers(&made, before.data(), before.size(), label.c_str(), after.data(),
                               after.size(), label.c_str(), &options) != 0) {
        return {};
    }
    const std::unique_ptr<git_patch, CPatchFree> patch(made);
    git_buf text = GIT_BUF_INIT;
    std::string diff;
    if (git_patch_to_buf(&text, patch.get()) == 0) {
        diff.assign(text.ptr, text.size);
    }
    git_buf_dispose(&text);
    return diff;
}

std::string CRepairPreview::UnifiedDiff() const {
    std::string diff;
    for (const CPageChange& change : m_changes) {
        diff += ::UnifiedDiff(change.path, change.before, change.after);
    }
    return diff;
}
