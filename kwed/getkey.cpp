// getkey: reads the terminal's bytes and matches them against the key map.
// A key sequence ends when no longer key starts with the bytes read so far,
// or when the next byte is slow to come (a lone Escape, say). Bytes that
// no key matches are characters: UTF-8 sequences come back as their code
// point, stray bytes as raw_byte plus the byte.
#include "editor_core.h"

#include <curses.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kwed {

namespace {

// How long to wait for the next byte of a key sequence, in milliseconds.
constexpr int sequence_wait = 100;
constexpr unsigned char escape_byte = 27;

int nextbyte(editor &ed, int ms) {
    key_reader &reader = ed.reader;
    if (reader.npending > 0) {
        int c = reader.pending[0];
        std::memmove(reader.pending, reader.pending + 1, --reader.npending);
        return c;
    }
    return readbyte(ed, ms);
}

// The same, for the escape sequence reader.
int morebytes(void *ed, int ms) {
    return nextbyte(*static_cast<editor *>(ed), ms);
}

void pushback(key_reader &reader, const unsigned char *s, int n) {
    if (n <= 0)
        return;
    std::memmove(reader.pending + n, reader.pending, reader.npending);
    std::memcpy(reader.pending, s, n);
    reader.npending += n;
}

// Notes the bytes of the key that was read, and gives back the bytes
// after them.
void keyends(key_reader &reader, const unsigned char *s, int used, int n) {
    std::memcpy(reader.last, s, static_cast<std::size_t>(used));
    reader.lastlen = used;
    pushback(reader, s + used, n - used);
}

// Looks the bytes up: sets *code to the last record that equals them and
// returns whether some record is longer and starts with them.
bool lookup(const keymap_t *map, const unsigned char *s, int n, int *code) {
    bool longer = false;
    const char *pool = pooltext(map, 0);
    for (const keymap_t *k = map; k && k->code != k_end; ++k) {
        if (k->rhs < static_cast<std::uint32_t>(n))
            continue;
        if (std::memcmp(pool + k->lhs, s, n) != 0)
            continue;
        if (k->rhs == static_cast<std::uint32_t>(n))
            *code = k->code;
        else
            longer = true;
    }
    return longer;
}

// The character that starts the unmatched bytes s[0..n): the rest of its
// bytes are read when they have not come yet.
int character(editor &ed, unsigned char *s, int n) {
    int need = utf8length(s[0]);
    while (need > n) {
        int c = nextbyte(ed, sequence_wait);
        if (c < 0)
            break;
        s[n++] = static_cast<unsigned char>(c);
    }
    int len;
    std::int32_t cp = decodeutf8(s, static_cast<std::size_t>(n), &len);
    keyends(ed.reader, s, len, n);
    return cp < 0 ? raw_byte | s[0] : cp;
}

// Takes up a new size of the terminal: whether it differed from the
// screen's.
bool takewindowsize() {
    winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0)
        return false;
    if (size.ws_row == LINES && size.ws_col == COLS)
        return false;
    resizeterm(size.ws_row, size.ws_col);
    return true;
}

} // namespace

int readbyte(editor &ed, int ms) {
    key_reader &reader = ed.reader;
    if (reader.inpos < reader.inlen && !endsignal())
        return reader.inbuf[reader.inpos++];
    for (;;) {
        if (endsignal())
            return -1;
        int ready = waitinput(ms);
        if (ready < 0 && errno == EINTR) {
            if (endsignal())
                return -1;
            suspension s = takesuspend();
            if (s == suspension::stop)
                stopjob(ed);
            else if (s == suspension::resumed)
                resumejob(ed);
            // A signal, most likely a new window size: the screen is drawn
            // again at the terminal's size. (Asking curses for a key instead
            // would hand back a byte that came with the signal and leave the
            // new size untaken.)
            if (takewindowsize())
                display(ed, 1);
            continue;
        }
        if (ready == 0)
            return -1;
        ssize_t got = ::read(STDIN_FILENO, reader.inbuf, sizeof reader.inbuf);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return -1;
        reader.inlen = static_cast<int>(got);
        reader.inpos = 1;
        return reader.inbuf[0];
    }
}

namespace {

// The marks around a pasted block.
constexpr std::string_view paste_start = "\033[200~";
constexpr std::string_view paste_end = "\033[201~";

} // namespace

// Every byte as it came, but CR LF and a lone CR (terminals send CR for
// the newlines of a paste) as LF.
void readpasted(editor &ed) {
    std::string &text = ed.reader.pasted;
    text.clear();
    bool aftercr = false;
    for (int c; (c = nextbyte(ed, -1)) >= 0;) {
        if (c == '\n' && aftercr) {
            aftercr = false;
            continue;
        }
        aftercr = c == '\r';
        text += aftercr ? '\n' : static_cast<char>(c);
        if (c == '~' && text.ends_with(paste_end)) {
            text.resize(text.size() - paste_end.size());
            return;
        }
    }
}

int readkey(editor &ed, keymap_t *map) {
    unsigned char seq[longest_key] = {};
    int n = 0;
    int best = 0, bestcode = 0;
    int c = nextbyte(ed, -1);
    if (c < 0) {
        // The terminal is gone or the editor told to end: nothing more can
        // be typed, and unsaved text must not go with it.
        ed.reader.lastlen = 0;
        rescue(ed);
        return k_end;
    }
    if (c == escape_byte) {
        // Escape and then a key, however long after it, is that key with
        // Alt: terminals without an Alt key reach Alt's commands so.
        int next = nextbyte(ed, sequence_wait);
        if (next < 0)
            next = nextbyte(ed, -1);
        if (next >= 0) {
            unsigned char b = static_cast<unsigned char>(next);
            pushback(ed.reader, &b, 1);
        }
    }
    while (c >= 0) {
        seq[n++] = static_cast<unsigned char>(c);
        int code = 0;
        bool longer = lookup(map, seq, n, &code);
        if (code != 0) {
            best = n;
            bestcode = code;
        }
        if (!longer || n == longest_key)
            break;
        c = nextbyte(ed, sequence_wait);
    }
    if (seq[0] == escape_byte) {
        // When a byte was slow to come, the sequence has ended there.
        int len = escapelength(seq, &n, c < 0 ? n : longest_key, morebytes, &ed);
        // A paste is never taken for keys, whatever is bound.
        if (std::string_view(reinterpret_cast<char *>(seq), len) == paste_start) {
            keyends(ed.reader, seq, len, n);
            readpasted(ed);
            return pasted_key;
        }
        if (best < len) {
            keyends(ed.reader, seq, len, n);
            return unbound_key;
        }
    }
    if (best > 0) {
        keyends(ed.reader, seq, best, n);
        return bestcode;
    }
    return character(ed, seq, n);
}

int getkey(editor &ed, keymap_t *map) {
    key_reader &reader = ed.reader;
    // The screen is drawn after each key; the first one waits for it too.
    if (!reader.shown) {
        reader.shown = true;
        // display itself waits while keys are pending, so curses need not
        // look for them: its output then goes out in large writes.
        typeahead(-1);
        keysapart();
        display(ed, 0);
        bracketpaste(true);
    }
    for (;;) {
        screen_view &view = ed.view;
        bool panel = view.helpkey == reader.keycount;
        // Counted once it has come: a screen drawn again while waiting for
        // it (a new window size) still shows the panel and the message.
        int key = readkey(ed, map);
        ++reader.keycount;
        // The key that closes the help panel does only that; a paste is
        // no key, and goes into the text. The help key turns its pages.
        if (!panel || key == k_end || key == pasted_key || ed.done)
            return key;
        const command *c = commandfor(key);
        if (c && c->func == static_cast<command_t>(help) && view.helppage + 1 < helppages(ed)) {
            ++view.helppage;
            view.helpkey = reader.keycount;
        }
        display(ed, 0);
    }
}

void bracketpaste(bool on) {
    std::fputs(on ? "\033[?2004h" : "\033[?2004l", stdout);
    std::fflush(stdout);
}

bool keyspending(const key_reader &reader) {
    if (reader.npending > 0 || reader.inpos < reader.inlen)
        return true;
    pollfd p = {STDIN_FILENO, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

} // namespace kwed
