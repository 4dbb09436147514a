// Bounded text helpers. Every write into a fixed buffer in the shell goes
// through these; none of them ever writes past the size it is given.
#pragma once

#include <stddef.h>

// Length of text that must end within `size` bytes: the length, or -1 when
// there is no terminator among the first `size` bytes (nothing beyond them is read).
int BoundedLength(const char *text, size_t size);

// Copies `source` with its terminator into `dest` of `size` bytes.
// Returns the length copied, or -1 when it does not fit; `dest` is then
// left empty, never holding a cut text.
int CopyText(char *dest, size_t size, const char *source);

// Appends `source` to the text already in `dest` of `size` bytes.
// Returns the new length, or -1 when it does not fit; `dest` is then unchanged.
int AppendText(char *dest, size_t size, const char *source);

template <size_t N> int CopyText(char (&dest)[N], const char *source)
{
    return CopyText(dest, N, source);
}

template <size_t N> int AppendText(char (&dest)[N], const char *source)
{
    return AppendText(dest, N, source);
}
