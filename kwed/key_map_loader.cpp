// initkey: builds the key map from the run-control file. Each logical line
// is a comment, a directive (a name that begins with a dot) or a command
// name followed by the keys that run it; see kwed.rc.md.
#include "editor_core.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace kwed {

namespace {

// The texts that key records point into, and its fill and size.
char *pool = nullptr;
std::size_t pool_used = 0;
std::size_t pool_size = 0;

// Appends n bytes and a NUL; returns the handle or 0 when memory runs out.
std::uint32_t pooladd(const char *s, std::size_t n) {
    if (pool_used + n + 1 > pool_size) {
        std::size_t want = (pool_used + n + 1) * 2 + 256;
        char *p = static_cast<char *>(std::realloc(pool, want));
        if (p == nullptr)
            return 0;
        pool = p;
        pool_size = want;
    }
    std::uint32_t handle = static_cast<std::uint32_t>(pool_used);
    std::memcpy(pool + pool_used, s, n);
    pool[pool_used + n] = '\0';
    pool_used += n + 1;
    return handle;
}

// The records built so far.
keymap_t *records = nullptr;
std::size_t nrecords = 0;
std::size_t records_size = 0;

bool addrecord(std::int16_t code, std::uint32_t lhs, std::uint32_t rhs) {
    if (nrecords == records_size) {
        std::size_t want = records_size * 2 + 64;
        auto *p = static_cast<keymap_t *>(std::realloc(records, want * sizeof(keymap_t)));
        if (p == nullptr)
            return false;
        records = p;
        records_size = want;
    }
    records[nrecords++] = {code, lhs, rhs};
    return true;
}

// Where a failure is reported: the rc file's name and the line number.
char rcshown[filename_size];
int rcline = 0;

// Makes the f_config message name the file and line and say what is wrong.
// The text becomes a printf format, so any '%' in it is doubled.
void rcerror(const char *id, ...) {
    char text[msgline_size];
    va_list ap;
    va_start(ap, id);
    vformatmsg(text, sizeof text, id, ap);
    va_end(ap);
    char line[filename_size + 2 * msgline_size];
    if (rcline > 0)
        std::snprintf(line, sizeof line, getmsg(m_rcline), rcshown, rcline, text);
    else
        std::snprintf(line, sizeof line, "%s\n", text);
    char *format = static_cast<char *>(std::malloc(2 * std::strlen(line) + 1));
    if (format == nullptr)
        return;
    char *o = format;
    for (const char *s = line; *s; ++s) {
        if (*s == '%')
            *o++ = '%';
        *o++ = *s;
    }
    *o = '\0';
    long n = std::strtol(f_config, nullptr, 0);
    if (n >= 0 && static_cast<std::size_t>(n) < message_size) {
        std::free(message[n]);
        message[n] = format;
    } else {
        std::free(format);
    }
}

// Names the file that openrc opened: the first candidate that is the same
// file, in openrc's order.
void nameopened(const char *name, std::FILE *fp) {
    std::snprintf(rcshown, sizeof rcshown, "%s", name);
    struct stat opened;
    if (fstat(fileno(fp), &opened) != 0)
        return;
    const char *home = std::getenv("HOME");
    char *candidates[] = {strdup(name), home ? pathname(home, name) : nullptr,
                          pathname(etcdir(), name)};
    bool found = false;
    for (char *c : candidates) {
        struct stat st;
        if (!found && c && stat(c, &st) == 0 && st.st_dev == opened.st_dev &&
            st.st_ino == opened.st_ino) {
            std::snprintf(rcshown, sizeof rcshown, "%s", c);
            found = true;
        }
        std::free(c);
    }
}

bool isblank_char(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Splits off the next blank-separated word; null at the end of the line.
char *nextword(char **s) {
    char *p = *s;
    while (isblank_char(*p))
        ++p;
    if (*p == '\0')
        return nullptr;
    char *start = p;
    while (*p && !isblank_char(*p))
        ++p;
    if (*p)
        *p++ = '\0';
    *s = p;
    return start;
}

// The rest of the line without its leading and trailing blanks.
char *resttext(char *s) {
    while (isblank_char(*s))
        ++s;
    char *e = s + std::strlen(s);
    while (e > s && isblank_char(e[-1]))
        *--e = '\0';
    return s;
}

// The text of a .message line: everything after the blank that ends the
// number, blanks at either end included (the header's texts begin with
// one), up to the line's newline and a carriage return before it.
char *messagetext(char *s) {
    std::size_t n = std::strlen(s);
    if (n > 0 && s[n - 1] == '\n')
        s[--n] = '\0';
    if (n > 0 && s[n - 1] == '\r')
        s[--n] = '\0';
    return s;
}

// ".message N text": the text replaces message N. It must take the same
// arguments as the built-in text, since the program passes arguments
// that fit those; getmsg would pass over any other text. Texts of fatal messages keep their closing
// newline.
bool setmessage(char *rest) {
    char *word = nextword(&rest);
    char *end = nullptr;
    long n = word ? std::strtol(word, &end, 0) : -1;
    if (word == nullptr || *end != '\0' || n < 0 || static_cast<std::size_t>(n) >= message_size) {
        rcerror(m_rcbadnumber, word ? word : "");
        return false;
    }
    char *text = messagetext(rest);
    const char *builtin = builtintext(static_cast<int>(n));
    if (!same_arguments(text, builtin ? builtin : "")) {
        rcerror(m_rcformat, n);
        return false;
    }
    std::size_t len = std::strlen(text);
    bool newline = builtin && *builtin && builtin[std::strlen(builtin) - 1] == '\n';
    char *copy = static_cast<char *>(std::malloc(len + 2));
    if (copy == nullptr)
        return false;
    std::memcpy(copy, text, len);
    if (newline)
        copy[len++] = '\n';
    copy[len] = '\0';
    std::free(message[n]);
    message[n] = copy;
    return true;
}

bool directive(const char *name, char *rest) {
    if (std::strcmp(name, ".title") == 0) {
        char *text = resttext(rest);
        std::uint32_t h = pooladd(text, std::strlen(text));
        return h && addrecord(k_mode1, h, 0);
    }
    if (std::strcmp(name, ".tabsize") == 0) {
        char *word = nextword(&rest);
        char *end = nullptr;
        long n = word ? std::strtol(word, &end, 10) : 0;
        if (word == nullptr || *end != '\0' || n < 1 || n > 32) {
            rcerror(m_rcbadnumber, word ? word : "");
            return false;
        }
        return addrecord(k_mode2, static_cast<std::uint32_t>(n), 0);
    }
    if (std::strcmp(name, ".noheader") == 0)
        return addrecord(k_textline, 0, 0);
    if (std::strcmp(name, ".view") == 0)
        return addrecord(k_modal, 0, 0);
    if (std::strcmp(name, ".message") == 0)
        return setmessage(rest);
    rcerror(m_rcdirective, name);
    return false;
}

// "name key...": one record per key.
bool binding(const char *name, char *rest) {
    const command *cmd = findcommand(name);
    if (cmd == nullptr) {
        rcerror(m_rccommand, name);
        return false;
    }
    int keys = 0;
    for (char *word; (word = nextword(&rest)) != nullptr; ++keys) {
        std::size_t textlen = std::strlen(word);
        char *text = static_cast<char *>(std::malloc(textlen + 1));
        if (text == nullptr)
            return false;
        std::memcpy(text, word, textlen + 1);
        char *bytes = encode(word);
        bool ok = bytes && bytes[0] != '\0';
        if (!ok) {
            rcerror(m_rckey, text);
        } else if (std::strcmp(bytes, "\a") == 0 && std::strstr(text, "$(")) {
            // The terminal lacks the capability: the bell byte it encodes
            // to would take ^G from its own binding, so it binds nothing.
        } else {
            // Bytes and text go into the pool as one entry: bytes, NUL, text.
            std::size_t n = std::strlen(bytes);
            std::uint32_t h = pooladd(bytes, n);
            ok = h && pooladd(text, textlen) && addrecord(cmd->code, h, n);
        }
        std::free(bytes);
        std::free(text);
        if (!ok)
            return false;
    }
    if (keys == 0) {
        rcerror(m_rcnokey, name);
        return false;
    }
    return true;
}

bool parseline(char *line) {
    char *rest = line;
    char *name = nextword(&rest);
    if (name == nullptr || name[0] == '#')
        return true;
    return name[0] == '.' ? directive(name, rest) : binding(name, rest);
}

void release() {
    std::free(records);
    records = nullptr;
    nrecords = records_size = 0;
}

} // namespace

const char *pooltext(std::uint32_t handle) {
    return pool && handle < pool_used ? pool + handle : "";
}

const char *keybytes(const keymap_t &k) {
    return pooltext(k.lhs);
}

const char *keytext(const keymap_t &k) {
    const char *bytes = pooltext(k.lhs);
    return k.rhs ? bytes + std::strlen(bytes) + 1 : bytes;
}

const char *keyfor(int code) {
    if (code == k_mode0)
        return key_mode[0].lhs ? keytext({k_literal, key_mode[0].lhs, 1}) : nullptr;
    for (const keymap_t *k = key_map; k && k->code != k_end; ++k)
        if (k->code == code && k->rhs)
            return keytext(*k);
    return nullptr;
}

keymap_t *initkey(const char *rcname, bool given) {
    std::FILE *fp = openrc(rcname, given);
    rcline = 0;
    if (fp == nullptr) {
        std::snprintf(rcshown, sizeof rcshown, "%s", rcname);
        rcerror(m_rcnotfound, rcname);
        return nullptr;
    }
    nameopened(rcname, fp);
    release();
    // Handle 0 is an empty text, so that a zero word names nothing.
    if (pool == nullptr && pooladd("", 0) != 0)
        return nullptr;
    bool ok = true;
    for (;;) {
        // The bytes a block took from the file tell how many lines a
        // backslash joined, so that messages name the block's first line.
        long before = std::ftell(fp);
        char *block;
        int got = getblock(fp, &block);
        if (got == gb_eof)
            break;
        ++rcline;
        if (got < 0) {
            rcerror(got == gb_nomem ? m_nomem : m_rcread, std::strerror(errno));
            ok = false;
            break;
        }
        long after = std::ftell(fp);
        int first = rcline;
        if (before >= 0 && after > before && after - before > got - 1)
            rcline += static_cast<int>((after - before - (got - 1)) / 2);
        int last = rcline;
        rcline = first;
        ok = parseline(block);
        rcline = last;
        std::free(block);
        if (!ok)
            break;
    }
    std::fclose(fp);
    if (!ok || !addrecord(k_end, 0, 0)) {
        release();
        return nullptr;
    }
    keymap_t *map = records;
    records = nullptr;
    nrecords = records_size = 0;
    return map;
}

void finikey(keymap_t *map) {
    std::free(map);
    if (map == key_map)
        key_map = nullptr;
    std::free(pool);
    pool = nullptr;
    pool_used = pool_size = 0;
    for (char *&m : message) {
        std::free(m);
        m = nullptr;
    }
}

} // namespace kwed
