#include "filefaults.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>

namespace platform {
namespace {

constexpr int kDisarmed = -1;

std::array<int, static_cast<std::size_t>(CFileOperation::Count)> g_callsBeforeFailure = [] {
    std::array<int, static_cast<std::size_t>(CFileOperation::Count)> calls{};
    calls.fill(kDisarmed);
    return calls;
}();

int& CallsBeforeFailure(CFileOperation operation) {
    return g_callsBeforeFailure[static_cast<std::size_t>(operation)];
}

void StopIfAsked() {
    static const long stopAt = [] {
        const char* text = std::getenv("LINKVET_TEST_STOP_AT_FILE_OP");
        return text != nullptr ? std::atol(text) : 0L;
    }();
    static long started = 0;
    if (stopAt > 0 && ++started == stopAt) {
        std::raise(SIGSTOP);
    }
}

}  // namespace

void FailFileOperation(CFileOperation operation, int skip) {
    CallsBeforeFailure(operation) = skip;
}

void ClearFileFailures() {
    g_callsBeforeFailure.fill(kDisarmed);
}

bool IsFailureInjected(CFileOperation operation) {
    StopIfAsked();
    int& calls = CallsBeforeFailure(operation);
    if (calls == kDisarmed) {
        return false;
    }
    if (calls-- > 0) {
        return false;
    }
    errno = EIO;
    return true;
}

}  // namespace platform
