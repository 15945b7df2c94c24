// Keys that come as escape sequences. Terminals send function keys, the
// keypad, and keys held with Shift, Alt or Control as Escape and then a
// control sequence (ESC [ parameters final, as in ESC [ 1 ; 2 A), a single
// shift (ESC O final, with modifier digits on some terminals) or one
// character (Alt-x is ESC x); the terminal's description lists its own key
// strings, which may follow none of these forms. Each such sequence is one
// key, so that no tail of it is ever taken for typed text.
#include "editor_core.h"

#include <curses.h>
#include <term.h>

#include <cstring>

namespace kwed {

namespace {

constexpr int escape_byte = 27;

// The terminal's key strings (key_* capabilities) that begin with Escape.
constexpr std::size_t max_keystrings = 512;
const char *keystrings[max_keystrings];
std::size_t nkeystrings = 0;
const void *keystrings_of = nullptr; // the terminal they were read for

void readkeystrings() {
    if (keystrings_of == cur_term)
        return;
    keystrings_of = cur_term;
    nkeystrings = 0;
    if (cur_term == nullptr)
        return;
    for (std::size_t i = 0; strnames[i] && nkeystrings < max_keystrings; ++i) {
        if (strnames[i][0] != 'k')
            continue;
        const char *s = tigetstr(strnames[i]);
        if (s && s != reinterpret_cast<const char *>(-1) && s[0] == escape_byte && s[1])
            keystrings[nkeystrings++] = s;
    }
}

// The bytes of one sequence, read as they are needed. Once a byte has not
// come in time, no more are waited for.
struct seqreader {
    unsigned char *seq;
    int *n;
    int room;
    int (*more)(void *ctx, int ms);
    void *ctx;
    bool ended = false;

    int at(int i) {
        while (*n <= i && !ended) {
            int c = *n < room ? more(ctx, sequence_wait) : -1;
            if (c < 0)
                ended = true;
            else
                seq[(*n)++] = static_cast<unsigned char>(c);
        }
        return i < *n ? seq[i] : -1;
    }
    static constexpr int sequence_wait = 100;
};

// The longest key string of the terminal that the bytes hold whole, or 0.
int keystringlength(seqreader &r) {
    readkeystrings();
    bool alive[max_keystrings];
    for (std::size_t k = 0; k < nkeystrings; ++k)
        alive[k] = true;
    int best = 0;
    for (int len = 1;; ++len) {
        int c = r.at(len - 1);
        bool longer = false;
        for (std::size_t k = 0; k < nkeystrings; ++k) {
            if (!alive[k])
                continue;
            auto b = static_cast<unsigned char>(keystrings[k][len - 1]);
            if (c < 0 || b != c) {
                alive[k] = false;
            } else if (keystrings[k][len] == '\0') {
                best = len;
                alive[k] = false;
            } else {
                longer = true;
            }
        }
        if (!longer)
            return best;
    }
}

// Bytes from i on in [low, high].
int skip(seqreader &r, int i, int low, int high) {
    for (int c; (c = r.at(i)) >= low && c <= high;)
        ++i;
    return i;
}

// The end of the sequence whose Escape is at offset at, by its form.
int formend(seqreader &r, int at) {
    int c = r.at(at + 1);
    if (c < 0)
        return at + 1; // Escape alone
    if (c == escape_byte)
        return formend(r, at + 1); // Alt with a key that is a sequence itself
    if (c == '[' || c == 'O') {
        int i = at + 2;
        if (c == '[' && r.at(i) == '[')
            return r.at(i + 1) < 0 ? i + 1 : i + 2; // the Linux console's F1 to F5
        i = skip(r, i, 0x30, 0x3F);                 // parameters, or modifier digits
        if (c == '[')
            i = skip(r, i, 0x20, 0x2F); // intermediate bytes
        int last = r.at(i);
        // A sequence that a byte of no place in it cuts short ends there.
        return last >= 0x40 && last <= 0x7E ? i + 1 : i;
    }
    // Alt with a character: a UTF-8 one takes its continuation bytes.
    int len = utf8length(static_cast<unsigned char>(c));
    int i = at + 2;
    while (i < at + 1 + len && r.at(i) >= 0 && utf8continuation(r.at(i)))
        ++i;
    return i;
}

} // namespace

int escapelength(unsigned char *seq, int *n, int room, int (*more)(void *ctx, int ms), void *ctx) {
    seqreader r{seq, n, room, more, ctx};
    int known = keystringlength(r);
    return known > 0 ? known : formend(r, 0);
}

} // namespace kwed
