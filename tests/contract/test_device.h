// Things that CreateFileA opens, for the file contracts the driver relies on
// with its device and pipes: share modes when one object is opened twice,
// the byte count of a transfer, and a read that waits for data until a
// time-out and then fails with ERROR_SEM_TIMEOUT, as a USB bulk pipe does.
//
// On Windows the first is a temporary file and the second a mailslot, whose
// read time-out behaves exactly so. In the emulation both are devices of a
// small bus of the harness's own; the simulated camera's pipes are tested
// against the same rules in tests/host/sim.
#pragma once

#include <cstring>
#include <string>

#include "contract/harness.h"

#if !defined(_WIN32)
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#endif

namespace contract {

#if !defined(_WIN32)
// One named object of the harness's bus: a queue of messages read whole,
// first in first out; reads wait `timeout` ms for one (0: never wait).
struct BusObject {
    std::mutex mutex;
    std::deque<std::string> messages;
    DWORD timeout = 0;
};

class BusFile : public emu::DeviceFile {
public:
    explicit BusFile(std::shared_ptr<BusObject> object) : object_(std::move(object)) {}
    bool Read(void* buffer, DWORD size, DWORD* done, DWORD*) override
    {
        std::lock_guard<std::mutex> lock(object_->mutex);
        *done = 0;
        if (object_->messages.empty())
            return true;
        std::string message = object_->messages.front();
        object_->messages.pop_front();
        *done = static_cast<DWORD>(message.size() < size ? message.size() : size);
        std::memcpy(buffer, message.data(), *done);
        return true;
    }
    bool Write(const void* buffer, DWORD size, DWORD* done, DWORD*) override
    {
        std::lock_guard<std::mutex> lock(object_->mutex);
        object_->messages.emplace_back(static_cast<const char*>(buffer), size);
        *done = size;
        return true;
    }
    DWORD ReadTimeout() const override { return object_->timeout; }
    bool ReadReady() const override
    {
        std::lock_guard<std::mutex> lock(object_->mutex);
        return !object_->messages.empty();
    }

private:
    std::shared_ptr<BusObject> object_;
};

class HarnessBus : public emu::DeviceBus {
public:
    std::unique_ptr<emu::DeviceFile> Open(const std::string& name, DWORD* error) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = objects_.find(Upper(name));
        if (it == objects_.end()) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        return std::make_unique<BusFile>(it->second);
    }
    bool Interfaces(const GUID&, std::vector<emu::InterfaceEntry>* out, DWORD*) override
    {
        out->clear(); // no camera on this bus
        return true;
    }
    void Add(const std::string& name, DWORD timeout)
    {
        auto object = std::make_shared<BusObject>();
        object->timeout = timeout;
        std::lock_guard<std::mutex> lock(mutex_);
        objects_[Upper(name)] = object;
    }
    void Remove(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        objects_.erase(Upper(name));
    }

private:
    static std::string Upper(std::string text)
    {
        for (char& c : text)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return text;
    }
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<BusObject>> objects_;
};

// Installed at first use and left in place: it has no camera, so the
// SetupAPI contracts see the empty classes that Windows shows here.
inline HarnessBus& Bus()
{
    static HarnessBus* bus = [] {
        auto* b = new HarnessBus;
        emu::SetDeviceBus(b);
        return b;
    }();
    return *bus;
}
#endif

// An object that exists for the test's life, opened by name any number of
// times (share modes allowing).
class TestDevice {
public:
    TestDevice()
    {
        char unique[64];
        UniqueName(unique, sizeof unique, "device");
#if defined(_WIN32)
        char folder[MAX_PATH];
        DWORD length = GetTempPathA(sizeof folder, folder);
        name_ = std::string(folder, length) + unique + ".tmp";
        HANDLE file = CreateFileA(name_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
#else
        name_ = std::string("\\\\.\\") + unique;
        Bus().Add(name_, 0);
#endif
    }
    ~TestDevice()
    {
#if defined(_WIN32)
        DeleteFileA(name_.c_str());
#else
        Bus().Remove(name_);
#endif
    }
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;
    const char* Name() const { return name_.c_str(); }

private:
    std::string name_;
};

// A pipe whose reads wait up to `timeout` ms for a message. Reader() is the
// end the test reads; Put() sends one message from the other end (callable
// from any thread).
class TimedPipe {
public:
    explicit TimedPipe(DWORD timeout)
    {
        char unique[64];
        UniqueName(unique, sizeof unique, "pipe");
#if defined(_WIN32)
        name_ = std::string("\\\\.\\mailslot\\") + unique;
        reader_ = CreateMailslotA(name_.c_str(), 0, timeout, nullptr);
#else
        name_ = std::string("\\\\.\\") + unique;
        Bus().Add(name_, timeout);
        reader_ = CreateFileA(name_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
#endif
    }
    ~TimedPipe()
    {
        if (reader_ != INVALID_HANDLE_VALUE)
            CloseHandle(reader_);
#if !defined(_WIN32)
        Bus().Remove(name_);
#endif
    }
    TimedPipe(const TimedPipe&) = delete;
    TimedPipe& operator=(const TimedPipe&) = delete;

    HANDLE Reader() const { return reader_; }

    // The count WriteFile reported, or -1 when the other end did not open.
    long Put(const char* message) const
    {
        HANDLE writer = CreateFileA(name_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (writer == INVALID_HANDLE_VALUE)
            return -1;
        DWORD written = 0xDEADBEEF;
        BOOL ok = WriteFile(writer, message, static_cast<DWORD>(std::strlen(message)), &written, nullptr);
        CloseHandle(writer);
        return ok ? static_cast<long>(written) : -1;
    }

private:
    std::string name_;
    HANDLE reader_ = INVALID_HANDLE_VALUE;
};

// A pipe that the test reads with overlapped I/O, as the driver reads its
// reply and image pipes: Reader() is opened with FILE_FLAG_OVERLAPPED, and
// its reads never time out on their own. Put() sends one message from the
// other end (callable from any thread). On Windows a named pipe, in the
// emulation an object of the harness's bus without a time-out.
class AsyncPipe {
public:
    AsyncPipe()
    {
        char unique[64];
        UniqueName(unique, sizeof unique, "async");
#if defined(_WIN32)
        name_ = std::string("\\\\.\\pipe\\") + unique;
        writer_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                   4096, 0, nullptr);
        reader_ = CreateFileA(name_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                              nullptr);
#else
        name_ = std::string("\\\\.\\") + unique;
        Bus().Add(name_, INFINITE);
        reader_ = CreateFileA(name_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
#endif
    }
    ~AsyncPipe()
    {
        if (reader_ != INVALID_HANDLE_VALUE)
            CloseHandle(reader_);
#if defined(_WIN32)
        if (writer_ != INVALID_HANDLE_VALUE)
            CloseHandle(writer_);
#else
        Bus().Remove(name_);
#endif
    }
    AsyncPipe(const AsyncPipe&) = delete;
    AsyncPipe& operator=(const AsyncPipe&) = delete;

    HANDLE Reader() const { return reader_; }

    // The count WriteFile reported, or -1.
    long Put(const char* message) const
    {
        DWORD written = 0xDEADBEEF;
#if defined(_WIN32)
        BOOL ok = WriteFile(writer_, message, static_cast<DWORD>(std::strlen(message)), &written, nullptr);
#else
        HANDLE writer = CreateFileA(name_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (writer == INVALID_HANDLE_VALUE)
            return -1;
        BOOL ok = WriteFile(writer, message, static_cast<DWORD>(std::strlen(message)), &written, nullptr);
        CloseHandle(writer);
#endif
        return ok ? static_cast<long>(written) : -1;
    }

private:
    std::string name_;
    HANDLE reader_ = INVALID_HANDLE_VALUE;
#if defined(_WIN32)
    HANDLE writer_ = INVALID_HANDLE_VALUE;
#endif
};

} // namespace contract
