// One Alpaca request as a member handler sees it: its parameters, read by
// the standard's rules, and the answer it builds.
//
// GET parameters come from the query string and their names match in any
// letter case; PUT parameters come from the form body only and must carry
// the documented casing exactly, so a mis-cased required key counts as
// absent (HTTP 400) and a mis-cased ClientTransactionID is not echoed.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "alpaca_errors.h"

namespace alpaca {

class Request {
public:
    // `text` is the query string (GET) or the form body (PUT).
    Request(const std::string& text, bool put);

    // False when ClientID or ClientTransactionID is present but not a
    // 32-bit unsigned number; the reason is in BadRequest().
    bool ReadIds();
    uint32_t ClientId() const { return clientId_; }
    uint32_t ClientTransactionId() const { return clientTransactionId_; }

    // Required parameters: false, with the reason in BadRequest(), when
    // missing or not of the type (which the standard answers with 400).
    bool Int(const char* name, int32_t* value);
    bool Double(const char* name, double* value);
    bool Bool(const char* name, bool* value);
    bool String(const char* name, std::string* value);

    const std::string& BadRequest() const { return badRequest_; }

private:
    const std::string* Find(const char* name);

    std::multimap<std::string, std::string> params_;
    bool put_;
    uint32_t clientId_ = 0;
    uint32_t clientTransactionId_ = 0;
    std::string badRequest_;
};

// What a member answers: an Alpaca error or success, and for a GET the
// value. The router gives a GET's error a type-correct default value, as
// strict clients want a Value key in every GET answer.
struct Reply {
    int error = kSuccess;
    std::string message;
    nlohmann::json value;
    bool hasValue = false;

    static Reply Value(nlohmann::json v);
    static Reply Done();
    static Reply Error(int number, std::string text);
};

// The JSON envelope of a 200 answer.
std::string Envelope(const Reply& reply, uint32_t clientTransactionId, uint32_t serverTransactionId);

} // namespace alpaca
