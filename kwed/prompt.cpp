// Questions on the message line: a line of text (find, go to line, save
// as) or a yes/no answer. Enter accepts, Escape, ^G, ^C or ^Q cancels,
// Backspace takes back a character.
#include "editor_core.h"

#include <curses.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace kwed {

namespace {

bool cancelkey(int c) {
    return c == 27 || c == 7 || c == 3 || c == 17;
}

// Drops the rest of an escape sequence, so that a function key cancels
// without leaving its bytes behind.
void drain() {
    while (readbyte(50) >= 0) {
    }
}

// After an Escape: whether a pasted block follows, which is then read
// whole; otherwise the rest of the sequence is dropped.
bool pasted() {
    for (char mark : std::string_view("[200~")) {
        int c = readbyte(100);
        if (c != static_cast<unsigned char>(mark)) {
            if (c >= 0)
                drain();
            return false;
        }
    }
    readpasted();
    return true;
}

void show(const char *question, const char *answer) {
    std::snprintf(msgline, msgline_size, "%s%s", question, answer);
    drawmessage();
}

} // namespace

int prompt(const char *id, char *out, std::size_t size) {
    const char *question = getmsg(id);
    std::size_t len = std::strlen(out);
    for (;;) {
        show(question, out);
        int c = readbyte(-1);
        if (c == 27 && pasted()) {
            // Its first line goes into the answer, as if typed.
            for (char b : reader.pasted) {
                if (b == '\n' || len + 1 >= size)
                    break;
                if (static_cast<unsigned char>(b) >= 32 || b == '\t')
                    out[len++] = b;
            }
            out[len] = '\0';
            reader.pasted.clear();
            continue;
        }
        if (c < 0 || cancelkey(c)) {
            msgline[0] = '\0';
            drawmessage();
            return 0;
        }
        if (c == '\n' || c == '\r') {
            msgline[0] = '\0';
            drawmessage();
            return 1;
        }
        if (c == 127 || c == 8) {
            // Back over one character.
            len = utf8back(reinterpret_cast<unsigned char *>(out), len);
            out[len] = '\0';
        } else if (c == 21) {
            len = 0; // ^U empties the answer
            out[0] = '\0';
        } else if ((c >= 32 || c == '\t') && len + 1 < size) {
            out[len++] = static_cast<char>(c);
            out[len] = '\0';
        }
    }
}

int confirm(const char *id, ...) {
    char question[msgline_size];
    va_list ap;
    va_start(ap, id);
    vformatmsg(question, sizeof question, id, ap);
    va_end(ap);
    for (;;) {
        show(question, "");
        int c = readbyte(-1);
        // A paste answers nothing.
        if (c == 27 && pasted()) {
            reader.pasted.clear();
            continue;
        }
        if (c == 'y' || c == 'Y' || c < 0 || c == 'n' || c == 'N' || cancelkey(c)) {
            msgline[0] = '\0';
            drawmessage();
            return c == 'y' || c == 'Y';
        }
    }
}

} // namespace kwed
