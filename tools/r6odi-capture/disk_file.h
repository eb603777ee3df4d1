// Files that appear under their name only once every byte of them is on the
// disk: written under a temporary name, flushed, then given their name by a
// rename that never replaces a file the user has not allowed to replace, and
// the folder flushed too, so that the name itself survives a power cut.
// One implementation per platform (POSIX calls, Win32 calls).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace capture {

struct DiskFile {
    intptr_t handle = -1; // a file descriptor, or a HANDLE on Windows
    std::string path;
};

// Creates (or empties) `path` for writing.
bool CreateDiskFile(const std::string& path, DiskFile* file, std::string* error);
bool WriteDiskFile(DiskFile* file, const void* bytes, size_t size, std::string* error);
// Closes the file, after flushing it to the disk when `sync` is set.
bool CloseDiskFile(DiskFile* file, bool sync, std::string* error);
// Closes the file if open and removes it.
void DiscardDiskFile(DiskFile* file);

// Flushes a file that another library wrote and closed.
bool SyncDiskFile(const std::string& path, std::string* error);

enum class Publish { Done, Exists, Failed };
// Gives `temporary` the name `path`. Without `replace`, a file already
// there is left alone (Exists), even one that appeared a moment ago; the
// check and the rename are one step. With `sync`, the folder is flushed so
// that the new name is on the disk too.
Publish PublishFile(const std::string& temporary, const std::string& path, bool replace, bool sync,
                    std::string* error);

} // namespace capture
