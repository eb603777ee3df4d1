// Bounded 8-bit text operations.
//
// Every text travels with a number. A source comes with a length: 0 (or a
// negative value) means "up to its NUL"; otherwise at most that many
// characters are taken, and a NUL met earlier still ends the text. A
// destination comes with a capacity: it never receives more than capacity
// characters and always ends with a NUL, so its buffer holds capacity + 1
// bytes. A capacity of 0 leaves an empty text (only the NUL is written); a
// negative capacity or a null destination writes nothing at all. A null
// source reads as an empty text.
//
// Letter case is ASCII only: the texts these operations serve (device paths,
// file names, colour and key names) are ASCII, and folding other code-page
// letters would make a comparison depend on the code page.
//
// A destination may be the same buffer as a source: sources are measured
// before anything is written, and bytes are moved, not copied.
#pragma once

namespace hostsupport {

// destination = source, cut to fit.
void CopyText(int capacity, char* destination, int length, const char* source);

// destination = destination followed by source, cut to fit. A destination
// that has no NUL within its capacity counts as full.
void AppendText(int capacity, char* destination, int length, const char* source);

// destination = text1 followed by text2, cut to fit.
void JoinTexts(int capacity, char* destination, int length1, const char* text1, int length2,
               const char* text2);

// 0 when the texts are equal without regard to ASCII letter case; otherwise
// negative or positive as the first differing character (folded to lower
// case, compared as unsigned) is smaller or greater. A text that is a prefix
// of the other is the smaller.
int CompareTexts(int length1, const char* text1, int length2, const char* text2);

// ASCII letters of the text (up to its NUL, at most capacity characters)
// turned to upper case in place.
void UpperCase(int capacity, char* text);

// Spaces and tabs before and after the text removed in place; the text then
// starts at the buffer's first byte. A text without a NUL within its capacity
// is taken as its first capacity characters and terminated there.
void TrimText(int capacity, char* text);

// Position of the first occurrence of `characters` (a whole substring, not a
// set; letter case counts) in the text at or after `start`; -1 when there is
// none. The text ends at its NUL or after capacity characters, so a capacity
// of 0 or less means an empty text. A negative start counts as 0. An empty
// `characters` is found at `start` when start lies within the text or at its
// end.
int FindText(int capacity, const char* text, int start, const char* characters);

// destination = `count` characters of the source beginning at `start`, cut
// at the source's end and to fit. A negative count takes everything to the
// source's end; a negative start counts as 0; a start beyond the end gives an
// empty text.
void SubText(int capacity, char* destination, int length, const char* source, int start,
             int count);

// The extension of the path's file name (the text after the last dot of the
// part after the last '\', '/' or ':') replaced by `extension`; a file name
// without a dot gets "." and the extension. Dots in folder names are never
// touched. The result is cut to fit, like every destination.
void ReplaceExtension(int capacity, char* path, int length, const char* extension);

} // namespace hostsupport
