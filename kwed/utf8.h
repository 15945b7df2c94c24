// UTF-8: the one decoder and encoder that the key reader, the text, the
// messages and the prompts all use. Bytes that are no valid UTF-8 decode
// as themselves, one at a time.
#ifndef KWED_UTF8_H
#define KWED_UTF8_H

#include <cstddef>
#include <cstdint>

namespace kwed {

// Length of the sequence a lead byte starts: 1 to 4, 0 for a byte that
// starts none (a continuation byte, or one no character begins with).
int utf8length(unsigned char lead);

// Whether b is a continuation byte, one that starts no character.
inline bool utf8continuation(int b) {
    return (b & 0xC0) == 0x80;
}

// Decodes the character at the start of the n bytes at s and sets *len to
// its length. Bytes that are no character (a stray or cut sequence, an
// overlong form, a surrogate, a value past U+10FFFF) give minus the first
// byte, with *len 1; no bytes give 0 with *len 1.
std::int32_t decodeutf8(const unsigned char *s, std::size_t n, int *len);

// Encodes a code point into out (4 bytes room); returns the length.
int utf8encode(std::int32_t cp, char *out);

// Where the character that ends at s[n] starts: one byte back when the
// bytes there are no character.
std::size_t utf8back(const unsigned char *s, std::size_t n);

// n, less the bytes of a character that the end of s[0..n) cuts short.
std::size_t utf8whole(const unsigned char *s, std::size_t n);

} // namespace kwed

#endif
