#include "disk_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace capture {
namespace {

std::string Reason(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncFolder(const std::string& path, std::string* error)
{
    std::string folder = FolderOf(path);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        *error = Reason("cannot flush the folder", folder);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

// rename without replacing: renameat2 where the file system has it, else a
// hard link (which fails on an existing name) and the removal of the old one.
int RenameNoReplace(const char* from, const char* to)
{
#if defined(SYS_renameat2)
    if (::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1u /* RENAME_NOREPLACE */) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    if (::link(from, to) != 0)
        return -1;
    ::unlink(from);
    return 0;
}

} // namespace

bool CreateDiskFile(const std::string& path, DiskFile* file, std::string* error)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = Reason("cannot create", path);
        return false;
    }
    file->handle = fd;
    file->path = path;
    return true;
}

bool WriteDiskFile(DiskFile* file, const void* bytes, size_t size, std::string* error)
{
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t done = ::write((int)file->handle, at, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = ENOSPC;
            *error = Reason("cannot write", file->path);
            return false;
        }
        at += done;
        size -= (size_t)done;
    }
    return true;
}

bool CloseDiskFile(DiskFile* file, bool sync, std::string* error)
{
    int fd = (int)file->handle;
    file->handle = -1;
    if (sync && ::fsync(fd) != 0) {
        *error = Reason("cannot flush", file->path);
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        *error = Reason("cannot close", file->path);
        return false;
    }
    return true;
}

void DiscardDiskFile(DiskFile* file)
{
    if (file->handle >= 0)
        ::close((int)file->handle);
    file->handle = -1;
    if (!file->path.empty())
        ::unlink(file->path.c_str());
}

bool SyncDiskFile(const std::string& path, std::string* error)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        *error = Reason("cannot flush", path);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

Publish PublishFile(const std::string& temporary, const std::string& path, bool replace, bool sync,
                    std::string* error)
{
    int moved = replace ? ::rename(temporary.c_str(), path.c_str()) : RenameNoReplace(temporary.c_str(), path.c_str());
    if (moved != 0) {
        bool exists = errno == EEXIST;
        *error = exists ? "'" + path + "' exists already" : Reason("cannot rename " + temporary + " to", path);
        return exists ? Publish::Exists : Publish::Failed;
    }
    if (sync && !SyncFolder(path, error))
        return Publish::Failed;
    return Publish::Done;
}

} // namespace capture
