#include "hostsupport/profile.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "hostsupport/memory.h"
#include "hostsupport/number.h"
#include "hostsupport/text.h"
#include "platform/win32.h"

namespace {

constexpr size_t kFirstReadSize = 4096;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasByteOrderMark(const char* data, size_t size)
{
    return size >= 3 && static_cast<unsigned char>(data[0]) == 0xEF &&
           static_cast<unsigned char>(data[1]) == 0xBB && static_cast<unsigned char>(data[2]) == 0xBF;
}

// Characters of a caller's text: `length` at most, up to its NUL.
size_t ArgumentLength(int length, const char* text)
{
    if (text == nullptr)
        return 0;
    size_t n = length > 0 ? static_cast<size_t>(length) : std::strlen(text);
    const void* nul = std::memchr(text, 0, n);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : n;
}

// The same without the blanks around it.
const char* TrimmedArgument(int length, const char* text, size_t* count)
{
    size_t n = ArgumentLength(length, text);
    while (n > 0 && IsBlank(*text)) {
        ++text;
        --n;
    }
    while (n > 0 && IsBlank(text[n - 1]))
        --n;
    *count = n;
    return text;
}

} // namespace

bool CProfile::Load(int length, const char* path)
{
    Release();
    size_t count = ArgumentLength(length, path);
    if (count == 0 || count > MAX_PATH)
        return false;
    char fileName[MAX_PATH + 1];
    hostsupport::CopyText(MAX_PATH, fileName, static_cast<int>(count), path);
    if (!ReadWholeFile(fileName)) {
        Release();
        return false;
    }
    start = HasByteOrderMark(data, size) ? 3 : 0;
    return true;
}

bool CProfile::ReadWholeFile(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    size_t room = 0;
    bool good = true;
    for (;;) {
        // Always one byte more than the file so far, for the closing NUL.
        if (size + 1 >= room) {
            size_t grown = room == 0 ? kFirstReadSize : room * 2;
            void* block = data;
            if (grown <= room || !hostsupport::Resize(&block, grown)) {
                good = false;
                break;
            }
            data = static_cast<char*>(block);
            room = grown;
        }
        size_t read = std::fread(data + size, 1, room - size - 1, file);
        size += read;
        if (read == 0) {
            good = std::ferror(file) == 0;
            break;
        }
    }
    std::fclose(file);
    if (good)
        data[size] = '\0';
    return good;
}

void CProfile::Release()
{
    void* block = data;
    hostsupport::Free(&block);
    data = nullptr;
    size = 0;
    start = 0;
    selected = false;
    sectionStart = 0;
    entryAt = 0;
}

size_t CProfile::LineEnd(size_t at) const
{
    while (at < size && !IsLineBreak(data[at]))
        ++at;
    return at;
}

size_t CProfile::LineFollowing(size_t lineEnd) const
{
    if (lineEnd >= size)
        return lineEnd;
    if (data[lineEnd] == '\r' && lineEnd + 1 < size && data[lineEnd + 1] == '\n')
        return lineEnd + 2;
    return lineEnd + 1;
}

CProfile::Span CProfile::Trimmed(Span span) const
{
    while (span.begin < span.end && IsBlank(data[span.begin]))
        ++span.begin;
    while (span.end > span.begin && IsBlank(data[span.end - 1]))
        --span.end;
    return span;
}

CProfile::LineKind CProfile::Classify(Span line, Span* name) const
{
    line = Trimmed(line);
    if (line.begin == line.end || data[line.begin] == ';' || data[line.begin] == '#')
        return LineKind::Ignored;
    if (data[line.begin] != '[')
        return LineKind::Entry;
    const void* close = std::memchr(data + line.begin + 1, ']', line.end - line.begin - 1);
    if (close == nullptr)
        return LineKind::Ignored;
    *name = Trimmed({line.begin + 1, static_cast<size_t>(static_cast<const char*>(close) - data)});
    return LineKind::Header;
}

bool CProfile::SameText(Span span, const char* text, size_t length) const
{
    if (span.end - span.begin != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (LowerAscii(data[span.begin + i]) != LowerAscii(text[i]))
            return false;
    }
    return true;
}

bool CProfile::SelectSection(int length, const char* name)
{
    selected = false;
    size_t wantedLength = 0;
    const char* wanted = TrimmedArgument(length, name, &wantedLength);
    if (data == nullptr)
        return false;
    for (size_t at = start; at < size;) {
        size_t end = LineEnd(at);
        Span header;
        if (Classify({at, end}, &header) == LineKind::Header && SameText(header, wanted, wantedLength)) {
            selected = true;
            sectionStart = entryAt = LineFollowing(end);
            return true;
        }
        at = LineFollowing(end);
    }
    return false;
}

// The next entry of the selected section from *at on. The search stops at
// the next header and leaves *at there, so that asking again still finds
// nothing.
bool CProfile::FindEntry(size_t* at, Entry* entry) const
{
    while (*at < size) {
        size_t end = LineEnd(*at);
        Span line{*at, end};
        Span header;
        LineKind kind = Classify(line, &header);
        if (kind == LineKind::Header)
            return false;
        *at = LineFollowing(end);
        if (kind != LineKind::Entry)
            continue;
        line = Trimmed(line);
        const void* equals = std::memchr(data + line.begin, '=', line.end - line.begin);
        if (equals == nullptr) {
            *entry = Entry{{}, line, false};
        } else {
            size_t split = static_cast<size_t>(static_cast<const char*>(equals) - data);
            *entry = Entry{Trimmed({line.begin, split}), Trimmed({split + 1, line.end}), true};
        }
        return true;
    }
    return false;
}

void CProfile::Deliver(Span span, char* destination, int capacity) const
{
    size_t count = span.end - span.begin;
    if (count == 0) {
        hostsupport::CopyText(capacity, destination, 0, "");
        return;
    }
    // A length beyond any capacity is as good as the whole span.
    int length = count > static_cast<size_t>(capacity) ? (capacity > 0 ? capacity : 1)
                                                       : static_cast<int>(count);
    hostsupport::CopyText(capacity, destination, length, data + span.begin);
}

bool CProfile::DeliverEntry(char* first, int firstCapacity, char* second, int secondCapacity)
{
    Entry entry;
    if (!selected || !FindEntry(&entryAt, &entry))
        return false;
    Deliver(entry.value, first, firstCapacity);
    Deliver(entry.key, second, secondCapacity);
    return true;
}

bool CProfile::FirstEntry(char* first, int firstCapacity, char* second, int secondCapacity)
{
    entryAt = sectionStart;
    return DeliverEntry(first, firstCapacity, second, secondCapacity);
}

bool CProfile::NextEntry(char* first, int firstCapacity, char* second, int secondCapacity)
{
    return DeliverEntry(first, firstCapacity, second, secondCapacity);
}

bool CProfile::ReadInteger(int length, const char* key, int32_t* value)
{
    if (!selected)
        return false;
    size_t wantedLength = 0;
    const char* wanted = TrimmedArgument(length, key, &wantedLength);
    size_t at = sectionStart;
    Entry entry;
    while (FindEntry(&at, &entry)) {
        if (!entry.hasKey || !SameText(entry.key, wanted, wantedLength))
            continue;
        size_t count = entry.value.end - entry.value.begin;
        if (count == 0 || count > static_cast<size_t>(INT_MAX))
            return false;
        bool ok = false;
        int32_t number =
            hostsupport::TextToInteger(static_cast<int>(count), data + entry.value.begin, 10, &ok);
        if (ok && value != nullptr)
            *value = number;
        return ok;
    }
    return false;
}
