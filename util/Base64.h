// Base64 (RFC 4648 section 4 alphabet, no line breaks) for binary column
// values and parameters. Output blocks come from plat::heapAlloc (zero-filled)
// and belong to the caller, who releases them with plat::heapFree.
#pragma once

// Encodes count bytes; *out receives a NUL-terminated text. Returns the
// number of characters (4 * ceil(count / 3)), or -1 (and *out = null) when
// the heap refuses or count is negative.
int Base64Encode(const void* bytes, int count, char** out);

// Decodes at most length characters of text, stopping at a NUL or the first
// '='; characters outside the alphabet are skipped. *out receives the bytes
// followed by at least one zero byte. Returns the number of bytes, or -1
// (and *out = null) when the heap refuses.
int Base64Decode(const char* text, int length, unsigned char** out);
