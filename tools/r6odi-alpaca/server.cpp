#include "server.h"

#include <cstdio>

#include <httplib.h>

#include "image_encoding.h"

namespace alpaca {
namespace {

// Several clients polling on kept-alive connections each hold a worker: the
// pool is larger than cpp-httplib's default so a download never waits.
constexpr size_t kWorkers = 32;
// A JSON image goes out in pieces of about this many bytes.
constexpr size_t kJsonPiece = 1 << 20;

const char* const kJson = "application/json; charset=utf-8";

std::vector<std::string> Split(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::string QueryOf(const httplib::Request& request)
{
    size_t mark = request.target.find('?');
    return mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
}

void BadRequest(httplib::Response& response, const std::string& text)
{
    response.status = 400;
    response.set_content(text + "\n", "text/plain; charset=utf-8");
}

bool AcceptsImageBytes(const httplib::Request& request)
{
    std::string accept = request.get_header_value("Accept");
    for (char& ch : accept)
        ch = (char)std::tolower((unsigned char)ch);
    return accept.find("application/imagebytes") != std::string::npos;
}

// The member's parameters, each of its declared type; false with the reason.
bool ReadArgs(Request& request, const Member& member, Args* args)
{
    for (const Param& p : member.params) {
        int32_t i;
        double d;
        bool b;
        std::string s;
        bool ok = p.type == ParamType::Int      ? request.Int(p.name, &i)
                  : p.type == ParamType::Double ? request.Double(p.name, &d)
                  : p.type == ParamType::Bool   ? request.Bool(p.name, &b)
                                                : request.String(p.name, &s);
        if (!ok)
            return false;
        (*args)[p.name] = p.type == ParamType::Int      ? nlohmann::json(i)
                          : p.type == ParamType::Double ? nlohmann::json(d)
                          : p.type == ParamType::Bool   ? nlohmann::json(b)
                                                        : nlohmann::json(s);
    }
    return true;
}

const char* const kSetupPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>r6odi-alpaca</title></head><body>"
    "<h1>r6odi-alpaca</h1><p>Camera 0 and filter wheel 0 of this server are set up on its command line "
    "(<code>r6odi-alpaca --help</code>): camera id, read mode, cooling ramp. Nothing is configured here.</p>"
    "</body></html>";

} // namespace

std::string StableUniqueId(const std::string& seed, const std::string& device)
{
    // Two FNV-1a hashes give the 128 bits; the version and variant bits
    // make it read as a name-based UUID.
    auto hash = [](const std::string& text, uint64_t basis) {
        uint64_t h = basis;
        for (unsigned char ch : text)
            h = (h ^ ch) * 0x100000001b3ull;
        return h;
    };
    std::string text = seed + "/" + device;
    uint64_t high = hash(text, 0xcbf29ce484222325ull);
    uint64_t low = hash(text, 0x84222325cbf29ce4ull);
    high = (high & ~0xF000ull) | 0x5000ull;
    low = (low & ~(3ull << 62)) | (2ull << 62);
    char id[40];
    std::snprintf(id, sizeof id, "%08x-%04x-%04x-%04x-%012llx", (unsigned)(high >> 32), (unsigned)((high >> 16) & 0xFFFF),
                  (unsigned)(high & 0xFFFF), (unsigned)(low >> 48), (unsigned long long)(low & 0xFFFFFFFFFFFFull));
    return id;
}

Server::Server(Rig& rig, DriverThread& driver, const ServerIdentity& identity)
    : context_{rig, driver}, identity_(identity), http_(std::make_unique<httplib::Server>())
{
    camera_ = CameraMembers(context_);
    wheel_ = FilterWheelMembers(context_);
    http_->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    http_->Get("/api/.*", [this](const httplib::Request& q, httplib::Response& r) { HandleDevice(q, r, false); });
    http_->Put("/api/.*", [this](const httplib::Request& q, httplib::Response& r) { HandleDevice(q, r, true); });
    http_->Get("/management/.*", [this](const httplib::Request& q, httplib::Response& r) { HandleManagement(q, r); });
    auto setup = [](const httplib::Request&, httplib::Response& r) { r.set_content(kSetupPage, "text/html; charset=utf-8"); };
    http_->Get("/setup", setup);
    http_->Get("/setup/v1/(camera|filterwheel)/0/setup", setup);
}

Server::~Server() = default;

bool Server::Bind(const std::string& address, int port, std::string* error)
{
    if (!http_->bind_to_port(address.c_str(), port)) {
        *error = "cannot listen on " + address + " port " + std::to_string(port) +
                 ": the address is not this machine's, or another program holds the port";
        return false;
    }
    return true;
}

void Server::Serve()
{
    http_->listen_after_bind();
}

void Server::Stop()
{
    http_->stop();
}

void Server::HandleDevice(const httplib::Request& q, httplib::Response& r, bool put)
{
    // /api/v1/{type}/{number}/{member}: every element lower case.
    std::vector<std::string> parts = Split(q.path);
    if (parts.size() != 6 || parts[1] != "api" || parts[2] != "v1")
        return BadRequest(r, "unknown path " + q.path + ": the device API is /api/v1/{device type}/{number}/{member}");
    MemberTable* table = parts[3] == "camera" ? &camera_ : parts[3] == "filterwheel" ? &wheel_ : nullptr;
    if (table == nullptr)
        return BadRequest(r, "unknown device type '" + parts[3] + "': this server has camera and filterwheel");
    if (parts[4] != "0")
        return BadRequest(r, "no " + parts[3] + " number '" + parts[4] + "': this server has " + parts[3] + " 0 only");
    auto found = table->find((put ? "put " : "get ") + parts[5]);
    if (found == table->end()) {
        bool other = table->count((put ? "get " : "put ") + parts[5]) > 0;
        return BadRequest(r, other ? parts[5] + " is not used with " + (put ? "PUT" : "GET")
                                   : "unknown member '" + parts[5] + "' of " + parts[3]);
    }
    const Member& member = found->second;
    Request request(put ? q.body : QueryOf(q), put);
    Args args;
    if (!request.ReadIds() || !ReadArgs(request, member, &args))
        return BadRequest(r, request.BadRequest());

    Reply reply;
    std::shared_ptr<const Image> image;
    bool connected;
    {
        std::lock_guard<std::mutex> lock(context_.rig.Lock());
        const Status& s = context_.rig.State();
        connected = table == &camera_ ? s.cameraConnected : s.wheelConnected;
    }
    if (member.needsConnection && !connected)
        reply = Reply::Error(kNotConnected, parts[3] + " 0 is not connected: PUT Connected=true or Connect first");
    else if (member.runImage)
        reply = member.runImage(&image);
    else
        reply = member.run(args);
    if (reply.error == kSuccess && image)
        return SendImage(image, q, r, request.ClientTransactionId());
    if (!put && reply.error != kSuccess) {
        reply.value = member.fallback;
        reply.hasValue = true;
    }
    r.set_content(Envelope(reply, request.ClientTransactionId(), NextServerTransactionId()), kJson);
}

void Server::SendImage(const std::shared_ptr<const Image>& image, const httplib::Request& q, httplib::Response& r,
                       uint32_t clientTransactionId)
{
    uint32_t serverTransactionId = NextServerTransactionId();
    if (AcceptsImageBytes(q)) {
        auto header = std::make_shared<std::string>(
            ImageBytesHeader(clientTransactionId, serverTransactionId, image->Width(), image->Height()));
        const std::vector<uint16_t>& columns = image->Columns();
        size_t length = header->size() + columns.size() * sizeof(uint16_t);
        // The pixels go out straight from the image's own memory: x86 and
        // the Windows targets are little-endian, as ImageBytes is.
        r.set_content_provider(length, "application/imagebytes",
                               [image, header](size_t offset, size_t, httplib::DataSink& sink) {
                                   const char* data = reinterpret_cast<const char*>(image->Columns().data());
                                   if (offset < header->size())
                                       return sink.write(header->data() + offset, header->size() - offset);
                                   size_t at = offset - header->size();
                                   size_t size = image->Columns().size() * sizeof(uint16_t) - at;
                                   return sink.write(data + at, std::min(size, kJsonPiece * 4));
                               });
        return;
    }
    auto next = std::make_shared<int>(0);
    r.set_chunked_content_provider(
        "application/json; charset=utf-8",
        [image, next, clientTransactionId, serverTransactionId](size_t, httplib::DataSink& sink) {
            std::string piece = *next == 0 ? JsonImageOpening() : std::string();
            int columnsPerPiece = std::max(1, (int)(kJsonPiece / 6 / (size_t)std::max(1, image->Height())));
            int last = std::min(image->Width(), *next + columnsPerPiece);
            AppendJsonColumns(*image, *next, last, &piece);
            *next = last;
            if (last == image->Width())
                piece += JsonImageClosing(clientTransactionId, serverTransactionId);
            if (!sink.write(piece.data(), piece.size()))
                return false;
            if (last == image->Width())
                sink.done();
            return true;
        });
}

void Server::HandleManagement(const httplib::Request& q, httplib::Response& r)
{
    Request request(QueryOf(q), false);
    if (!request.ReadIds())
        return BadRequest(r, request.BadRequest());
    Reply reply;
    if (q.path == "/management/apiversions") {
        reply = Reply::Value(nlohmann::json::array({1}));
    } else if (q.path == "/management/v1/description") {
        reply = Reply::Value({{"ServerName", "r6odi-alpaca"},
                              {"Manufacturer", "r6odi project"},
                              {"ManufacturerVersion", "1.0"},
                              {"Location", identity_.location}});
    } else if (q.path == "/management/v1/configureddevices") {
        std::string cameraName, wheelName;
        {
            std::lock_guard<std::mutex> lock(context_.rig.Lock());
            const Status& s = context_.rig.State();
            cameraName = s.facts.name.empty() ? "r6odi camera" : s.facts.name;
            wheelName = s.facts.wheelName.empty() ? "r6odi filter wheel" : s.facts.wheelName;
        }
        auto device = [this](const std::string& name, const char* type) {
            return nlohmann::json{{"DeviceName", name},
                                  {"DeviceType", type},
                                  {"DeviceNumber", 0},
                                  {"UniqueID", StableUniqueId(identity_.uniqueIdSeed, type)}};
        };
        reply = Reply::Value(nlohmann::json::array({device(cameraName, "Camera"), device(wheelName, "FilterWheel")}));
    } else {
        r.status = 403;
        r.set_content("unknown management request " + q.path + "\n", "text/plain; charset=utf-8");
        return;
    }
    r.set_content(Envelope(reply, request.ClientTransactionId(), NextServerTransactionId()), kJson);
}

} // namespace alpaca
