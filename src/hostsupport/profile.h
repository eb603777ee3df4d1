// Reader of INI-style profiles: one object per file read.
//
// The syntax it understands:
// - Lines end with "\n", "\r\n" or "\r"; the last line may lack an end. A
//   UTF-8 byte-order mark at the very start of the file is skipped.
// - Blanks (spaces and tabs) around a line, a name, a key or a value are
//   never part of them.
// - Empty lines and lines starting with ';' or '#' are comments.
// - "[name]" starts the section `name`; anything after the ']' is ignored. A
//   line starting with '[' that has no ']' is malformed and skipped like a
//   comment: it neither starts a section nor is an entry.
// - Every other line is an entry of the section above it (lines above the
//   first section belong to none). "key=value" splits at its first '=';
//   a line without '=' is a value without key.
// Section names and keys compare without regard to ASCII letter case. When a
// section name appears more than once, the first such section is the one
// selected; the others are ignored (as the Windows profile functions do).
//
// Whatever the file holds (NUL bytes, binary data, lines of any length), the
// reader never reads outside what it loaded and never writes more than a
// buffer's capacity plus its NUL. A NUL byte inside a value ends the text
// delivered for it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostsupport/class.h"

class CProfile : public CLASS {
public:
    CProfile() = default;
    CProfile(const CProfile&) = delete;
    CProfile& operator=(const CProfile&) = delete;
    ~CProfile() { Release(); }

    // Reads the whole file (path: a text of at most MAX_PATH characters, its
    // length as for every source text) into process-heap memory. Anything
    // loaded before is released first, so after a failed Load nothing is
    // loaded. False when the file cannot be opened or read, or the path is
    // empty or too long.
    bool Load(int length, const char* path);

    // Selects the first section of that name (blanks around the name are
    // ignored); true when there is one. When there is none, no section is
    // selected and the entry and key operations report false.
    bool SelectSection(int length, const char* name);

    // The entries of the selected section in file order: FirstEntry delivers
    // the first, NextEntry each following one; false (buffers untouched)
    // when there is none left. `first` receives the value (for a line
    // without '=', the whole line) and `second` the key (empty for a line
    // without '='), each cut to its capacity, so "Red,RED" and "1=Red,RED"
    // both deliver "Red,RED" first. A null buffer receives nothing.
    bool FirstEntry(char* first, int firstCapacity, char* second, int secondCapacity);
    bool NextEntry(char* first, int firstCapacity, char* second, int secondCapacity);

    // The value of the first entry of the selected section whose key equals
    // `key`, read as a decimal integer with blanks around it allowed. True
    // and *value set when that value is a number; otherwise false and *value
    // untouched (a later entry with the same key is not consulted). The
    // entry cursor does not move.
    bool ReadInteger(int length, const char* key, int32_t* value);

    // Frees the loaded file; the object can Load again afterwards.
    void Release();

private:
    struct Span {
        size_t begin = 0;
        size_t end = 0;
    };
    struct Entry {
        Span key;
        Span value;
        bool hasKey = false;
    };
    enum class LineKind { Ignored, Header, Entry };

    bool ReadWholeFile(const char* path);
    size_t LineEnd(size_t at) const;
    size_t LineFollowing(size_t lineEnd) const;
    LineKind Classify(Span line, Span* name) const;
    Span Trimmed(Span span) const;
    bool SameText(Span span, const char* text, size_t length) const;
    bool FindEntry(size_t* at, Entry* entry) const;
    void Deliver(Span span, char* destination, int capacity) const;
    bool DeliverEntry(char* first, int firstCapacity, char* second, int secondCapacity);

    char* data = nullptr;  // the file's bytes and one NUL
    size_t size = 0;       // bytes of the file
    size_t start = 0;      // first byte after a byte-order mark
    bool selected = false;
    size_t sectionStart = 0; // first line after the selected header
    size_t entryAt = 0;      // where the next entry is searched from
};
