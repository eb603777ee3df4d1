#include "disk_file.h"

#include <windows.h>

namespace capture {
namespace {

std::string Reason(const std::string& what, const std::string& path, DWORD code)
{
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.'))
        text[--length] = '\0';
    return what + " " + path + ": " + (length > 0 ? std::string(text) : "error " + std::to_string(code));
}

HANDLE HandleOf(const DiskFile* file)
{
    return reinterpret_cast<HANDLE>(file->handle);
}

} // namespace

bool CreateDiskFile(const std::string& path, DiskFile* file, std::string* error)
{
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = Reason("cannot create", path, GetLastError());
        return false;
    }
    file->handle = reinterpret_cast<intptr_t>(handle);
    file->path = path;
    return true;
}

bool WriteDiskFile(DiskFile* file, const void* bytes, size_t size, std::string* error)
{
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        // WriteFile takes a 32-bit count; large blocks go in pieces.
        DWORD piece = size > (1u << 30) ? (1u << 30) : (DWORD)size;
        DWORD done = 0;
        if (!WriteFile(HandleOf(file), at, piece, &done, nullptr) || done == 0) {
            *error = Reason("cannot write", file->path, done == 0 ? ERROR_DISK_FULL : GetLastError());
            return false;
        }
        at += done;
        size -= done;
    }
    return true;
}

bool CloseDiskFile(DiskFile* file, bool sync, std::string* error)
{
    HANDLE handle = HandleOf(file);
    file->handle = -1;
    if (sync && !FlushFileBuffers(handle)) {
        *error = Reason("cannot flush", file->path, GetLastError());
        CloseHandle(handle);
        return false;
    }
    if (!CloseHandle(handle)) {
        *error = Reason("cannot close", file->path, GetLastError());
        return false;
    }
    return true;
}

void DiscardDiskFile(DiskFile* file)
{
    if (file->handle != -1)
        CloseHandle(HandleOf(file));
    file->handle = -1;
    if (!file->path.empty())
        DeleteFileA(file->path.c_str());
}

bool SyncDiskFile(const std::string& path, std::string* error)
{
    // FlushFileBuffers wants a handle that may write.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle)) {
        *error = Reason("cannot flush", path, GetLastError());
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        return false;
    }
    CloseHandle(handle);
    return true;
}

Publish PublishFile(const std::string& temporary, const std::string& path, bool replace, bool sync,
                    std::string* error)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing name;
    // MOVEFILE_WRITE_THROUGH returns only once the move is on the disk,
    // which is Windows' way of flushing the folder.
    DWORD flags = (replace ? MOVEFILE_REPLACE_EXISTING : 0) | (sync ? MOVEFILE_WRITE_THROUGH : 0);
    if (MoveFileExA(temporary.c_str(), path.c_str(), flags))
        return Publish::Done;
    DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
        *error = "'" + path + "' exists already";
        return Publish::Exists;
    }
    *error = Reason("cannot rename " + temporary + " to", path, code);
    return Publish::Failed;
}

} // namespace capture
