#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace platform {

struct CFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
// A C stream that closes itself.
using CFilePtr = std::unique_ptr<std::FILE, CFileCloser>;

// fopen, except that a mode that reads opens only a regular file: a FIFO, device or directory
// in its place fails at once instead of blocking the open or the reads. Writing modes open
// whatever the path names, so a report can still go to a pipe or a device.
CFilePtr OpenFile(const std::string& path, const char* mode);

// Opens or creates a regular file for binary writing from its start, without truncating it:
// the caller cuts it to length when done. A FIFO, device, directory or symbolic link in its
// place fails at once. For the program's own work files, which nothing else may stand in for,
// and which are rewritten often: truncating a large one first makes the kernel free all its
// pages only to allocate them again.
CFilePtr OverwriteRegularFile(const std::string& path);

// Creates a file for writing in binary under a name no other file has, prefix + six random
// characters + suffix (created is set to it), with the owner, group and permission bits of the
// open file model: root rewriting another user's page must leave it theirs. The name is made
// with O_EXCL, so nothing existing is reused or written through.
CFilePtr CreateUniqueFileLike(const std::string& prefix, const std::string& suffix,
                              std::FILE* model, std::string& created);

// Gives the file open as fd the owner and group of info, as far as the user may: an owner
// other than the user needs root. Set before the permission bits, which a change of owner
// may clear. False when neither could be kept; the file is still whole and usable then.
bool KeepOwner(int fd, const struct stat& info);

// Writes a stream's buffers through to the disk; false when any write to it has failed.
bool FlushToDisk(std::FILE* file);

// Reads a file as fgets does on a Windows text-mode stream: one call takes at most
// bufferSize - 1 characters and stops after a line end, and a CR LF pair reads as one "\n".
// A lone CR stays a CR. Legacy Windows files keep their CR LF pairs on Linux, so this is how
// they are read line by line here.
class CTextModeReader {
public:
    explicit CTextModeReader(std::FILE* file) : m_file(file) {}

    // False at end of file when nothing was read, as fgets returns null.
    bool ReadLine(std::string& line, std::size_t bufferSize);

private:
    int NextCharacter();

    std::FILE* m_file;
};

}  // namespace platform
