#pragma once

namespace platform {

// Test hook: lets a test make one file operation fail, so that it can show what a failure at
// that point leaves on disk. Nothing outside the tests arms it.
enum class CFileOperation { Copy, OpenForReading, CreateForWriting, Delete, Replace, Count };

// The call of operation that follows `skip` further calls fails once, with EIO, before it
// touches anything.
void FailFileOperation(CFileOperation operation, int skip = 0);
// Disarms every pending failure.
void ClearFileFailures();

// Asked by each file operation as it starts: true when this call is the one to fail.
// Test hook for crash tests, inert unless the environment holds LINKVET_TEST_STOP_AT_FILE_OP=N:
// the process stops itself (SIGSTOP) as its Nth file operation starts, so that a test can
// kill it at exactly that point.
bool IsFailureInjected(CFileOperation operation);

}  // namespace platform
