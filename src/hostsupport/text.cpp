#include "hostsupport/text.h"

#include <climits>
#include <cstring>

namespace hostsupport {
namespace {

// Characters of a source: up to `length` of them (all when length <= 0),
// ending early at a NUL.
int SourceLength(int length, const char* source)
{
    if (source == nullptr)
        return 0;
    if (length <= 0) {
        size_t n = std::strlen(source);
        return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    }
    const void* nul = std::memchr(source, 0, static_cast<size_t>(length));
    return nul ? static_cast<int>(static_cast<const char*>(nul) - source) : length;
}

// Characters already held by a buffer of the given capacity.
int HeldLength(int capacity, const char* text)
{
    if (text == nullptr || capacity <= 0)
        return 0;
    const void* nul = std::memchr(text, 0, static_cast<size_t>(capacity));
    return nul ? static_cast<int>(static_cast<const char*>(nul) - text) : capacity;
}

bool Writable(int capacity, const char* destination)
{
    return destination != nullptr && capacity >= 0;
}

int Smaller(int a, int b) { return a < b ? a : b; }

void MoveChars(char* destination, const char* source, int count)
{
    if (count > 0)
        std::memmove(destination, source, static_cast<size_t>(count));
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

unsigned char LowerAscii(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

bool IsNameSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

} // namespace

void CopyText(int capacity, char* destination, int length, const char* source)
{
    if (!Writable(capacity, destination))
        return;
    int count = Smaller(SourceLength(length, source), capacity);
    MoveChars(destination, source, count);
    destination[count] = '\0';
}

void AppendText(int capacity, char* destination, int length, const char* source)
{
    if (!Writable(capacity, destination))
        return;
    int held = HeldLength(capacity, destination);
    int count = Smaller(SourceLength(length, source), capacity - held);
    MoveChars(destination + held, source, count);
    destination[held + count] = '\0';
}

void JoinTexts(int capacity, char* destination, int length1, const char* text1, int length2,
               const char* text2)
{
    if (!Writable(capacity, destination))
        return;
    int count1 = Smaller(SourceLength(length1, text1), capacity);
    int count2 = Smaller(SourceLength(length2, text2), capacity - count1);
    // The second text goes first: when it is the destination itself it must
    // leave the front before the first text lands there.
    MoveChars(destination + count1, text2, count2);
    MoveChars(destination, text1, count1);
    destination[count1 + count2] = '\0';
}

int CompareTexts(int length1, const char* text1, int length2, const char* text2)
{
    int count1 = SourceLength(length1, text1);
    int count2 = SourceLength(length2, text2);
    int common = Smaller(count1, count2);
    for (int i = 0; i < common; ++i) {
        int a = LowerAscii(text1[i]);
        int b = LowerAscii(text2[i]);
        if (a != b)
            return a - b;
    }
    return count1 < count2 ? -1 : (count1 > count2 ? 1 : 0);
}

void UpperCase(int capacity, char* text)
{
    int count = HeldLength(capacity, text);
    for (int i = 0; i < count; ++i) {
        if (text[i] >= 'a' && text[i] <= 'z')
            text[i] = static_cast<char>(text[i] - 'a' + 'A');
    }
}

void TrimText(int capacity, char* text)
{
    if (!Writable(capacity, text))
        return;
    int end = HeldLength(capacity, text);
    int begin = 0;
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    MoveChars(text, text + begin, end - begin);
    text[end - begin] = '\0';
}

int FindText(int capacity, const char* text, int start, const char* characters)
{
    if (text == nullptr)
        return -1;
    int held = HeldLength(capacity, text);
    int wanted = SourceLength(0, characters);
    if (start < 0)
        start = 0;
    for (int at = start; at <= held - wanted; ++at) {
        if (wanted == 0 || std::memcmp(text + at, characters, static_cast<size_t>(wanted)) == 0)
            return at;
    }
    return -1;
}

void SubText(int capacity, char* destination, int length, const char* source, int start,
             int count)
{
    if (!Writable(capacity, destination))
        return;
    int available = SourceLength(length, source);
    if (start < 0)
        start = 0;
    int taken = 0;
    if (start < available) {
        int rest = available - start;
        taken = Smaller(count < 0 ? rest : Smaller(count, rest), capacity);
        MoveChars(destination, source + start, taken);
    }
    destination[taken] = '\0';
}

void ReplaceExtension(int capacity, char* path, int length, const char* extension)
{
    if (!Writable(capacity, path))
        return;
    int held = HeldLength(capacity, path);
    int nameStart = held;
    while (nameStart > 0 && !IsNameSeparator(path[nameStart - 1]))
        --nameStart;
    int dot = held - 1;
    while (dot >= nameStart && path[dot] != '.')
        --dot;
    bool hasDot = dot >= nameStart;
    int keep = hasDot ? dot + 1 : Smaller(held + 1, capacity);
    int count = Smaller(SourceLength(length, extension), capacity - keep);
    MoveChars(path + keep, extension, count);
    if (!hasDot && keep > held)
        path[held] = '.';
    path[keep + count] = '\0';
}

} // namespace hostsupport
