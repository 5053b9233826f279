#pragma once

#include <optional>
#include <string>

namespace platform {

// CopyFile: copies the bytes and exact permission bits of a regular file; anything else in
// its place (a FIFO, a device) fails at once, without waiting. With failIfExists an
// existing target is left alone and the copy fails, as CopyFileA does. The copy is flushed to
// disk and only then appears under the target's name, whole; a copy cut short by a kill may
// leave a file named after the target with ".tmp-" and the process id, never a partial target.
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);

// MoveFile: renames a file; fails when the target exists, as MoveFileA does.
bool MoveFile(const std::string& from, const std::string& to);

// DeleteFile: removes a file (never a directory).
bool DeleteFile(const std::string& path);

// ReplaceFile: puts from in the place of to in one atomic rename, so that to always names
// either its old or its new bytes; on failure both files are as they were.
bool ReplaceFile(const std::string& from, const std::string& to);

// True when the path names a regular file, following symbolic links.
bool IsRegularFile(const std::string& path);

// What a path names itself, a symbolic link not followed: nothing, a regular file, or anything
// else (a link, a folder, a FIFO, or a path that cannot be looked at).
enum class CPathKind { Missing, RegularFile, Other };
CPathKind KindOfPathItself(const std::string& path);

// A short note kept with a file (an extended attribute of the user namespace), never through
// a symbolic link; false, or nullopt, where the file system keeps none or the file has none.
bool SetFileNote(const std::string& path, const std::string& name, const std::string& value);
std::optional<std::string> FileNote(const std::string& path, const std::string& name);

// True when the file may be rewritten: its mode has a write bit, and the user may write it.
// Root may write any file; a mode without any write bit still says it is meant to be kept.
bool IsWritableFile(const std::string& path);

// True when the path names a directory that could be made the current directory.
bool IsEnterableDirectory(const std::string& path);

}  // namespace platform
