// initkey: builds the key map from the run-control file. Each logical line
// is a comment, a directive (a name that begins with a dot) or a command
// name followed by the keys that run it; see kwed.rc.md.
#include "editor_core.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kwed {

namespace {

// What the loader builds while it reads the file: the records, the key
// texts they point into, the settings, and where a failure is reported
// (the rc file's name and the line number).
struct loader {
    std::vector<keymap_t> records;
    std::string pool;
    rc_settings settings;
    char shown[filename_size] = "";
    int line = 0;
};

// Appends n bytes and a NUL to the key texts; returns the handle.
std::uint32_t pooladd(loader &l, const char *s, std::size_t n) {
    auto handle = static_cast<std::uint32_t>(l.pool.size());
    l.pool.append(s, n);
    l.pool += '\0';
    return handle;
}

// Makes the f_config message name the file and line and say what is wrong.
// The text becomes a printf format, so any '%' in it is doubled.
void rcerror(const loader &l, const char *id, ...) {
    char text[msgline_size];
    va_list ap;
    va_start(ap, id);
    vformatmsg(text, sizeof text, id, ap);
    va_end(ap);
    char line[filename_size + 2 * msgline_size];
    if (l.line > 0)
        std::snprintf(line, sizeof line, getmsg(m_rcline), l.shown, l.line, text);
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
void nameopened(loader &l, const char *name, std::FILE *fp) {
    std::snprintf(l.shown, sizeof l.shown, "%s", name);
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
            std::snprintf(l.shown, sizeof l.shown, "%s", c);
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
bool setmessage(const loader &l, char *rest) {
    char *word = nextword(&rest);
    char *end = nullptr;
    long n = word ? std::strtol(word, &end, 0) : -1;
    if (word == nullptr || *end != '\0' || n < 0 || static_cast<std::size_t>(n) >= message_size) {
        rcerror(l, m_rcbadnumber, word ? word : "");
        return false;
    }
    char *text = messagetext(rest);
    const char *builtin = builtintext(static_cast<int>(n));
    if (!same_arguments(text, builtin ? builtin : "")) {
        rcerror(l, m_rcformat, n);
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

bool directive(loader &l, const char *name, char *rest) {
    if (std::strcmp(name, ".title") == 0) {
        char *text = resttext(rest);
        l.settings.title = pooladd(l, text, std::strlen(text));
        return true;
    }
    if (std::strcmp(name, ".tabsize") == 0) {
        char *word = nextword(&rest);
        char *end = nullptr;
        long n = word ? std::strtol(word, &end, 10) : 0;
        if (word == nullptr || *end != '\0' || n < 1 || n > 32) {
            rcerror(l, m_rcbadnumber, word ? word : "");
            return false;
        }
        l.settings.tabsize = static_cast<std::uint32_t>(n);
        return true;
    }
    if (std::strcmp(name, ".noheader") == 0) {
        l.settings.header = 0;
        return true;
    }
    if (std::strcmp(name, ".view") == 0) {
        l.settings.modeless = 0;
        return true;
    }
    if (std::strcmp(name, ".message") == 0)
        return setmessage(l, rest);
    rcerror(l, m_rcdirective, name);
    return false;
}

// "name key...": one record per key.
bool binding(loader &l, const char *name, char *rest) {
    const command *cmd = findcommand(name);
    if (cmd == nullptr) {
        rcerror(l, m_rccommand, name);
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
            rcerror(l, m_rckey, text);
        } else if (std::strcmp(bytes, "\a") == 0 && std::strstr(text, "$(")) {
            // The terminal lacks the capability: the bell byte it encodes
            // to would take ^G from its own binding, so it binds nothing.
        } else {
            // Bytes and text go into the pool as one entry: bytes, NUL, text.
            std::size_t n = std::strlen(bytes);
            std::uint32_t h = pooladd(l, bytes, n);
            pooladd(l, text, textlen);
            l.records.push_back({cmd->code, h, static_cast<std::uint32_t>(n)});
        }
        std::free(bytes);
        std::free(text);
        if (!ok)
            return false;
    }
    if (keys == 0) {
        rcerror(l, m_rcnokey, name);
        return false;
    }
    return true;
}

bool parseline(loader &l, char *line) {
    char *rest = line;
    char *name = nextword(&rest);
    if (name == nullptr || name[0] == '#')
        return true;
    return name[0] == '.' ? directive(l, name, rest) : binding(l, name, rest);
}

// The records, the end record (whose second word is the size of the key
// texts) and the key texts, in one block that finikey frees.
keymap_t *oneblock(const loader &l) {
    std::size_t n = l.records.size();
    auto *map = static_cast<keymap_t *>(std::malloc((n + 1) * sizeof(keymap_t) + l.pool.size()));
    if (map == nullptr)
        return nullptr;
    std::copy(l.records.begin(), l.records.end(), map);
    map[n] = {k_end, 0, static_cast<std::uint32_t>(l.pool.size())};
    std::memcpy(map + n + 1, l.pool.data(), l.pool.size());
    return map;
}

} // namespace

const char *pooltext(const keymap_t *map, std::uint32_t handle) {
    const keymap_t *end = map;
    while (end && end->code != k_end)
        ++end;
    if (end == nullptr || handle >= end->rhs)
        return "";
    return reinterpret_cast<const char *>(end + 1) + handle;
}

const char *keybytes(const keymap_t *map, const keymap_t &k) {
    return pooltext(map, k.lhs);
}

const char *keytext(const keymap_t *map, const keymap_t &k) {
    const char *bytes = pooltext(map, k.lhs);
    return k.rhs ? bytes + std::strlen(bytes) + 1 : bytes;
}

const char *keyfor(const editor &ed, int code) {
    for (const keymap_t *k = ed.keys; k && k->code != k_end; ++k)
        if (k->code == code && k->rhs)
            return keytext(ed.keys, *k);
    return nullptr;
}

rc_keys initkey(const char *rcname, bool given) {
    loader l;
    std::FILE *fp = openrc(rcname, given);
    if (fp == nullptr) {
        std::snprintf(l.shown, sizeof l.shown, "%s", rcname);
        rcerror(l, m_rcnotfound, rcname);
        return {};
    }
    nameopened(l, rcname, fp);
    // Handle 0 is an empty text, so that a zero word names nothing.
    pooladd(l, "", 0);
    bool ok = true;
    for (;;) {
        // The bytes a block took from the file tell how many lines a
        // backslash joined, so that messages name the block's first line.
        long before = std::ftell(fp);
        char *block;
        int got = getblock(fp, &block);
        if (got == gb_eof)
            break;
        ++l.line;
        if (got < 0) {
            rcerror(l, got == gb_nomem ? m_nomem : m_rcread, std::strerror(errno));
            ok = false;
            break;
        }
        long after = std::ftell(fp);
        int first = l.line;
        if (before >= 0 && after > before && after - before > got - 1)
            l.line += static_cast<int>((after - before - (got - 1)) / 2);
        int last = l.line;
        l.line = first;
        ok = parseline(l, block);
        l.line = last;
        std::free(block);
        if (!ok)
            break;
    }
    std::fclose(fp);
    if (!ok)
        return {};
    return {oneblock(l), l.settings};
}

void finikey(keymap_t *map) {
    std::free(map);
    if (map == key_map)
        key_map = nullptr;
    for (char *&m : message) {
        std::free(m);
        m = nullptr;
    }
}

} // namespace kwed
