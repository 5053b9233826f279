#include "descriptorbudget.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>

namespace {

// The soft limit, raised to the hard one where it is lower.
rlim_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 1024;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    return limit.rlim_cur;
}

int OpenDescriptors() {
    DIR* const listing = ::opendir("/proc/self/fd");
    if (listing == nullptr) {
        return 0;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(listing)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    ::closedir(listing);
    // The listing's own descriptor is among them.
    return count - 1;
}

}  // namespace

CDescriptorBudget::CDescriptorBudget() {
    const rlim_t limit = std::min<rlim_t>(RaiseOpenFileLimit(), INT_MAX);
    m_connections = std::max(1, static_cast<int>(limit) - OpenDescriptors() - kReserve);
}

void CDescriptorBudget::ShrinkTo(int open) {
    m_connections = std::max(1, std::min(m_connections, open));
}
