#pragma once

#include <cstdio>
#include <string>

#include "platform/textfile.h"

namespace platform {

// A file written whole or not at all: the bytes go to a new file beside the target, which
// takes the target's name in one rename only when Commit finds every byte written, so that a
// write cut short (a full disk, a size limit) never leaves a truncated file under the name.
// A name that stands for something other than a regular file (a FIFO, a device such as
// /dev/stdout, a symbolic link) is written directly, as before.
class CSaveFile {
public:
    explicit CSaveFile(const std::string& path);
    // Removes the new file when it was never committed.
    ~CSaveFile();
    CSaveFile(const CSaveFile&) = delete;
    CSaveFile& operator=(const CSaveFile&) = delete;

    // The stream to write to; null when nothing could be opened.
    std::FILE* Stream() const { return m_stream.get(); }
    // Flushes and closes the stream and, when every write succeeded, puts the new file in the
    // target's place, with the target's permission bits when it existed.
    bool Commit();

private:
    std::string m_path;
    // Empty when the target is written directly.
    std::string m_temporary;
    CFilePtr m_stream;
};

}  // namespace platform
