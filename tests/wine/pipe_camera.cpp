#include "wine/pipe_camera.h"

#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "protocol/camera_info.h"
#include "wine/camera_paths.h"
#include "wine/test_interface.h"

namespace wine_tests {
namespace {

constexpr int kEndpoints = 4; // the device, then pipes 0, 1 and 2
constexpr int kDevice = 0, kCommand = 1, kReply = 2, kImage = 3;
constexpr DWORD kPipeBuffer = 1 << 20;
constexpr DWORD kBoundedWait = 10000;
constexpr BYTE kSuccess = 0x80;

typedef NTSTATUS(NTAPI* CreateSymbolicLink)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PUNICODE_STRING);

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// \??\<name> leading to \Device\NamedPipe, so that the device path (its
// name, a backslash and the pipe's name) opens a pipe of this process. The
// link lives as long as the handle.
HANDLE LinkToPipes(const std::string& name)
{
    auto create = reinterpret_cast<CreateSymbolicLink>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtCreateSymbolicLinkObject")));
    if (create == nullptr)
        return nullptr;
    std::wstring linkName = L"\\??\\" + Wide(name);
    std::wstring target = L"\\Device\\NamedPipe";
    UNICODE_STRING linkString = {static_cast<USHORT>(linkName.size() * 2), static_cast<USHORT>(linkName.size() * 2),
                                 &linkName[0]};
    UNICODE_STRING targetString = {static_cast<USHORT>(target.size() * 2), static_cast<USHORT>(target.size() * 2),
                                   &target[0]};
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof attributes;
    attributes.ObjectName = &linkString;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    HANDLE link = nullptr;
    const ACCESS_MASK kAllAccess = 0xF0001;
    return create(&link, kAllAccess, &attributes, &targetString) == 0 ? link : nullptr;
}

void PutWord(std::vector<BYTE>* bytes, uint16_t value, bool mostSignificantFirst)
{
    BYTE high = static_cast<BYTE>(value >> 8), low = static_cast<BYTE>(value);
    bytes->push_back(mostSignificantFirst ? high : low);
    bytes->push_back(mostSignificantFirst ? low : high);
}

uint16_t Word(const BYTE* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

} // namespace

uint16_t PipeCameraPixel(int bottomRow, int column)
{
    return static_cast<uint16_t>(bottomRow * 256 + column + 1);
}

struct PipeCamera::Server {
    r6odi::CameraInfo info = {};
    std::string tail;
    std::string pipeName[kEndpoints];
    std::unique_ptr<TestInterface> device;
    HANDLE link = nullptr;
    bool ready = false;

    mutable CRITICAL_SECTION lock;
    bool stopping = false;
    int listening[kEndpoints] = {};
    std::vector<HANDLE> threads;
    std::vector<HANDLE> connections;
    std::vector<DWORD> visitors;
    std::map<DWORD, int> commandPipes;            // per process: command pipes opened
    std::map<DWORD, std::vector<HANDLE>> replies; // per process: reply pipes in order
    std::map<DWORD, HANDLE> image;                // per process: its latest image pipe
    int doubleSample = 1;
    int frames = 0;

    struct Listener {
        Server* server;
        int endpoint;
        HANDLE pipe;
    };
    struct Connection {
        Server* server;
        HANDLE pipe;
        DWORD process;
        int index; // which of its process's command pipes
    };

    // A new pipe instance, made at once so that a client finds it, and a
    // thread that waits for its client.
    bool StartListener(int endpoint)
    {
        DWORD type = endpoint == kImage ? PIPE_TYPE_BYTE : PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE;
        HANDLE pipe = CreateNamedPipeA(pipeName[endpoint].c_str(), PIPE_ACCESS_DUPLEX, type | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
            return false;
        EnterCriticalSection(&lock);
        ++listening[endpoint];
        LeaveCriticalSection(&lock);
        auto* listener = new Listener{this, endpoint, pipe};
        HANDLE thread = CreateThread(nullptr, 0, Listen, listener, 0, nullptr);
        if (thread == nullptr) {
            delete listener;
            CloseHandle(pipe);
            EnterCriticalSection(&lock);
            --listening[endpoint];
            LeaveCriticalSection(&lock);
            return false;
        }
        EnterCriticalSection(&lock);
        threads.push_back(thread);
        LeaveCriticalSection(&lock);
        return true;
    }

    // One pipe instance waiting for one client. Once it has one, another
    // instance takes its place before the client is served.
    static DWORD WINAPI Listen(LPVOID parameter)
    {
        Listener listener = *static_cast<Listener*>(parameter);
        delete static_cast<Listener*>(parameter);
        Server* server = listener.server;
        HANDLE pipe = listener.pipe;
        bool connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        EnterCriticalSection(&server->lock);
        --server->listening[listener.endpoint];
        bool stopping = server->stopping;
        LeaveCriticalSection(&server->lock);
        if (!connected || stopping) {
            CloseHandle(pipe);
            return 0;
        }
        server->StartListener(listener.endpoint);
        server->Accept(listener.endpoint, pipe);
        return 0;
    }

    void Accept(int endpoint, HANDLE pipe)
    {
        ULONG process = 0;
        GetNamedPipeClientProcessId(pipe, &process);
        EnterCriticalSection(&lock);
        visitors.push_back(process);
        connections.push_back(pipe);
        int index = 0;
        if (endpoint == kCommand)
            index = commandPipes[process]++;
        else if (endpoint == kReply)
            replies[process].push_back(pipe);
        else if (endpoint == kImage)
            image[process] = pipe;
        LeaveCriticalSection(&lock);
        if (endpoint == kCommand)
            ServeRequests(Connection{this, pipe, process, index});
    }

    void ServeRequests(const Connection& connection)
    {
        BYTE request[64];
        DWORD got = 0;
        while (ReadFile(connection.pipe, request, sizeof request, &got, nullptr) && got > 0)
            Answer(connection, request, got);
    }

    // The reply pipe paired with the connection's command pipe; the client
    // opens it just after, so it may still be on its way.
    HANDLE ReplyPipe(const Connection& connection)
    {
        for (DWORD waited = 0; waited < kBoundedWait; waited += 1, Sleep(1)) {
            EnterCriticalSection(&lock);
            const std::vector<HANDLE>& pipes = replies[connection.process];
            HANDLE pipe = static_cast<int>(pipes.size()) > connection.index ? pipes[connection.index] : nullptr;
            LeaveCriticalSection(&lock);
            if (pipe != nullptr)
                return pipe;
        }
        return nullptr;
    }

    void Answer(const Connection& connection, const BYTE* request, DWORD length)
    {
        std::vector<BYTE> reply = {kSuccess};
        switch (request[0]) {
        case 0: {
            const BYTE* bytes = reinterpret_cast<const BYTE*>(&info);
            reply.insert(reply.end(), bytes, bytes + sizeof info);
            break;
        }
        case 3:
            EnterCriticalSection(&lock);
            doubleSample = length > 1 ? request[1] : doubleSample;
            LeaveCriticalSection(&lock);
            break;
        case 11:
            if (length == 9)
                SendFrame(connection.process, Word(request + 1), Word(request + 3), Word(request + 5),
                          Word(request + 7));
            return; // a frame request has no reply
        case 15:
            reply.insert(reply.end(), {0x00, 0x80});
            break;
        case 17:
            reply.insert(reply.end(), {0x00, 0x10, 0x00, 0x80});
            break;
        default:
            break;
        }
        HANDLE pipe = ReplyPipe(connection);
        DWORD written = 0;
        if (pipe != nullptr)
            WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
    }

    void SendFrame(DWORD process, int firstRow, int rows, int firstColumn, int columns)
    {
        EnterCriticalSection(&lock);
        HANDLE pipe = image.count(process) != 0 ? image[process] : nullptr;
        int samples = doubleSample == 1 ? 2 : 1;
        LeaveCriticalSection(&lock);
        std::vector<BYTE> bytes;
        for (int row = firstRow; row < firstRow + rows; ++row)
            for (int column = firstColumn; column < firstColumn + columns; ++column)
                for (int sample = 0; sample < samples; ++sample)
                    PutWord(&bytes, PipeCameraPixel(row, column), true);
        DWORD written = 0;
        if (pipe != nullptr)
            WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        EnterCriticalSection(&lock);
        ++frames;
        LeaveCriticalSection(&lock);
    }

    // Wakes every listener by connecting to it, then collects the threads.
    void Stop()
    {
        EnterCriticalSection(&lock);
        stopping = true;
        LeaveCriticalSection(&lock);
        for (int endpoint = 0; endpoint < kEndpoints; ++endpoint) {
            for (DWORD waited = 0; waited < kBoundedWait; waited += 1, Sleep(1)) {
                EnterCriticalSection(&lock);
                int left = listening[endpoint];
                LeaveCriticalSection(&lock);
                if (left == 0)
                    break;
                HANDLE client = CreateFileA(pipeName[endpoint].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
                if (client != INVALID_HANDLE_VALUE)
                    CloseHandle(client);
            }
        }
        EnterCriticalSection(&lock);
        std::vector<HANDLE> started = threads;
        LeaveCriticalSection(&lock);
        for (HANDLE thread : started) {
            WaitForSingleObject(thread, kBoundedWait);
            CloseHandle(thread);
        }
        for (HANDLE pipe : connections)
            CloseHandle(pipe);
    }
};

PipeCamera::PipeCamera(uint32_t id, uint16_t width, uint16_t height) : server_(new Server)
{
    Server& s = *server_;
    InitializeCriticalSection(&s.lock);
    s.info.id = id;
    s.info.width = width;
    s.info.height = height;
    std::memcpy(s.info.description, kPipeCameraName, sizeof kPipeCameraName);
    char tail[48];
    UniqueSerialTail(tail, sizeof tail);
    std::string reference = std::string("r6odi-") + tail;
    const char* suffixes[kEndpoints] = {"", "\\0", "\\1", "\\2"};
    for (int endpoint = 0; endpoint < kEndpoints; ++endpoint)
        s.pipeName[endpoint] = "\\\\.\\pipe\\" + reference + suffixes[endpoint];
    for (int endpoint = 0; endpoint < kEndpoints; ++endpoint)
        for (int spare = 0; spare < 2; ++spare)
            if (!s.StartListener(endpoint))
                return;
    s.device.reset(new TestInterface(reference.c_str()));
    if (!s.device->Present())
        return;
    // The path without "\\?\" and without the reference string.
    std::string path = s.device->Path();
    s.link = LinkToPipes(path.substr(4, path.size() - 4 - 1 - reference.size()));
    s.ready = s.link != nullptr;
}

PipeCamera::~PipeCamera()
{
    server_->Stop();
    server_->device.reset();
    if (server_->link != nullptr)
        CloseHandle(server_->link);
    DeleteCriticalSection(&server_->lock);
}

bool PipeCamera::Ready() const { return server_->ready; }

std::vector<DWORD> PipeCamera::Visitors() const
{
    EnterCriticalSection(&server_->lock);
    std::vector<DWORD> visitors = server_->visitors;
    LeaveCriticalSection(&server_->lock);
    return visitors;
}

int PipeCamera::Frames() const
{
    EnterCriticalSection(&server_->lock);
    int frames = server_->frames;
    LeaveCriticalSection(&server_->lock);
    return frames;
}

} // namespace wine_tests
