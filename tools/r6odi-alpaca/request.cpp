#include "request.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <strings.h>

#include <httplib.h>

namespace alpaca {
namespace {

bool ParseUnsigned32(const std::string& text, uint32_t* value)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long long number = std::strtoull(text.c_str(), nullptr, 10);
    if (number > 0xFFFFFFFFull)
        return false;
    *value = (uint32_t)number;
    return true;
}

bool NamesMatch(const std::string& key, const char* name, bool exact)
{
    return exact ? key == name : strcasecmp(key.c_str(), name) == 0;
}

} // namespace

Request::Request(const std::string& text, bool put) : put_(put)
{
    httplib::Params params;
    httplib::detail::parse_query_text(text, params);
    params_.insert(params.begin(), params.end());
}

const std::string* Request::Find(const char* name)
{
    for (const auto& [key, value] : params_)
        if (NamesMatch(key, name, put_))
            return &value;
    return nullptr;
}

bool Request::ReadIds()
{
    struct {
        const char* name;
        uint32_t* value;
    } ids[] = {{"ClientID", &clientId_}, {"ClientTransactionID", &clientTransactionId_}};
    for (auto& id : ids) {
        const std::string* text = Find(id.name);
        if (text != nullptr && !ParseUnsigned32(*text, id.value)) {
            badRequest_ = std::string(id.name) + " '" + *text + "' is not a number from 0 to 4294967295";
            return false;
        }
    }
    return true;
}

bool Request::String(const char* name, std::string* value)
{
    const std::string* text = Find(name);
    if (text == nullptr) {
        badRequest_ = std::string("the parameter ") + name + " is missing" +
                      (put_ ? " (PUT parameter names are case-sensitive)" : "");
        return false;
    }
    *value = *text;
    return true;
}

bool Request::Int(const char* name, int32_t* value)
{
    std::string text;
    if (!String(name, &text))
        return false;
    errno = 0;
    char* end = nullptr;
    long long number = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || number < INT32_MIN || number > INT32_MAX ||
        text.find_first_of(" \t") != std::string::npos) {
        badRequest_ = std::string(name) + " '" + text + "' is not a 32-bit integer";
        return false;
    }
    *value = (int32_t)number;
    return true;
}

bool Request::Double(const char* name, double* value)
{
    std::string text;
    if (!String(name, &text))
        return false;
    // strtod follows the C locale, which the server never changes: the
    // decimal separator is always the point the standard prescribes.
    char* end = nullptr;
    double number = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(number) || text.find_first_of(" \t") != std::string::npos) {
        badRequest_ = std::string(name) + " '" + text + "' is not a number";
        return false;
    }
    *value = number;
    return true;
}

bool Request::Bool(const char* name, bool* value)
{
    std::string text;
    if (!String(name, &text))
        return false;
    if (strcasecmp(text.c_str(), "true") == 0 || strcasecmp(text.c_str(), "false") == 0) {
        *value = strcasecmp(text.c_str(), "true") == 0;
        return true;
    }
    badRequest_ = std::string(name) + " '" + text + "' is neither true nor false";
    return false;
}

Reply Reply::Value(nlohmann::json v)
{
    Reply reply;
    reply.value = std::move(v);
    reply.hasValue = true;
    return reply;
}

Reply Reply::Done()
{
    return Reply();
}

Reply Reply::Error(int number, std::string text)
{
    Reply reply;
    reply.error = number;
    reply.message = std::move(text);
    return reply;
}

std::string Envelope(const Reply& reply, uint32_t clientTransactionId, uint32_t serverTransactionId)
{
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    if (reply.hasValue)
        body["Value"] = reply.value;
    body["ClientTransactionID"] = clientTransactionId;
    body["ServerTransactionID"] = serverTransactionId;
    body["ErrorNumber"] = reply.error;
    body["ErrorMessage"] = reply.message;
    // Texts from the camera or its configuration file are 8-bit ANSI, not
    // always valid UTF-8: such bytes are replaced rather than refused.
    return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace alpaca
