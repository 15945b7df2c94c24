// Commands that change the text: typing, Backspace and Delete, Enter and
// Tab, the mark and the scrap (cut, copy, paste), literal input, undo and
// redo.
#include "editor_core.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kwed {

namespace {

// The scrap's length: it may hold zero bytes.
std::size_t scrap_len = 0;
// Whether the scrap holds whole lines (from the start of a line up to the
// start of another, or the end of the text), which its message counts as
// lines, not characters; and whether its first piece began a line.
bool scrap_lines = false;
bool scrap_atline = false;

// The keys of the last cut and copy: repeated ones gather their lines.
long lastcut = -1;
long lastcopy = -1;

void insertbytes(const char *s, std::size_t n) {
    if (!edit_insert(buffer.point, s, n)) {
        msg(m_nomem);
        return;
    }
    buffer.point += static_cast<offset_t>(n);
}

// The current line with its newline: [start, end).
void currentline(offset_t *start, offset_t *end) {
    *start = linestart(buffer.point);
    *end = lineend(buffer.point);
    if (*end < textsize())
        ++*end;
}

// Puts the bytes [from, to) into the scrap, after what is there when add.
bool toscrap(offset_t from, offset_t to, bool add) {
    std::size_t n = static_cast<std::size_t>(to - from);
    std::size_t keep = add ? scrap_len : 0;
    char *p = static_cast<char *>(std::realloc(scrap, keep + n + 1));
    if (p == nullptr) {
        msg(m_nomem);
        return false;
    }
    copytext(from, n, p + keep);
    p[keep + n] = '\0';
    scrap = p;
    scrap_len = keep + n;
    if (keep == 0)
        scrap_atline = from == linestart(from);
    scrap_lines = scrap_atline && (to == textsize() || byteat(to - 1) == '\n');
    return true;
}

void scrapmessage() {
    long long n = 0;
    if (scrap_lines) {
        n = std::count(scrap, scrap + scrap_len, '\n');
        if (scrap_len && scrap[scrap_len - 1] != '\n')
            ++n;
        msg(n == 1 ? m_scrap1 : m_scrap, n);
        return;
    }
    const auto *s = reinterpret_cast<const unsigned char *>(scrap);
    for (std::size_t i = 0; i < scrap_len; ++n) {
        int len;
        decodeutf8(s + i, scrap_len - i, &len);
        i += static_cast<std::size_t>(len);
    }
    msg(n == 1 ? m_scrapchar1 : m_scrapchars, n);
}

// Cut (the text goes) and copy take the region when the mark is set, and
// clear the mark; true when they did. An empty region leaves the scrap.
bool takeregion(bool remove) {
    offset_t from, to;
    if (!region(&from, &to))
        return false;
    buffer.mark = -1;
    lastcut = lastcopy = -1;
    if (from == to) {
        msg(m_markgone);
        return true;
    }
    if (!toscrap(from, to, false))
        return true;
    if (remove) {
        edit_delete(from, static_cast<std::size_t>(to - from));
        buffer.point = from;
    }
    scrapmessage();
    return true;
}

// Moves [from, to) into the scrap; cuts in a row gather.
void cutspan(offset_t from, offset_t to) {
    if (!toscrap(from, to, lastcut == reader.keycount - 1))
        return;
    lastcut = reader.keycount;
    edit_delete(from, static_cast<std::size_t>(to - from));
    buffer.point = from;
    scrapmessage();
}

} // namespace

void insert() {
    char text[4];
    int c = input;
    if (c < 0)
        return; // no key: the terminal went away
    if (c & raw_byte) {
        text[0] = static_cast<char>(c & 0xFF);
        insertbytes(text, 1);
    } else if (c == '\t' || c == '\n' || (c >= 32 && c != 127 && c < 0x110000)) {
        insertbytes(text, utf8encode(c, text));
    } else {
        msg(m_unbound);
    }
}

void newline() {
    insertbytes("\n", 1);
}
void tab() {
    insertbytes("\t", 1);
}

void backspace() {
    if (buffer.point == 0)
        return;
    offset_t p = prevchar(buffer.point);
    edit_delete(p, static_cast<std::size_t>(buffer.point - p));
    buffer.point = p;
}

void delete_char() {
    offset_t n = nextchar(buffer.point);
    if (n > buffer.point)
        edit_delete(buffer.point, static_cast<std::size_t>(n - buffer.point));
}

bool region(offset_t *from, offset_t *to) {
    offset_t m = buffer.mark;
    if (m < 0)
        return false;
    *from = m < buffer.point ? m : buffer.point;
    *to = m < buffer.point ? buffer.point : m;
    return true;
}

void setmark() {
    bool set = buffer.mark < 0;
    buffer.mark = set ? buffer.point : -1;
    msg(set ? m_markset : m_markgone);
}

void cut() {
    if (takeregion(true))
        return;
    offset_t start, end;
    currentline(&start, &end);
    cutspan(start, end);
}

// From the cursor to the end of the line; at the end, the newline.
void cutend() {
    offset_t end = lineend(buffer.point);
    if (end == buffer.point && end < textsize())
        ++end;
    if (end > buffer.point)
        cutspan(buffer.point, end);
}

void copy() {
    if (takeregion(false))
        return;
    offset_t start, end;
    currentline(&start, &end);
    if (!toscrap(start, end, lastcopy == reader.keycount - 1))
        return;
    lastcopy = reader.keycount;
    buffer.point = end;
    scrapmessage();
}

void paste() {
    if (scrap == nullptr || scrap_len == 0) {
        msg(m_emptyscrap);
        return;
    }
    insertbytes(scrap, scrap_len);
}

void undo() {
    if (!undo_last())
        msg(m_noundo);
}

void redo() {
    if (!redo_last())
        msg(m_noredo);
}

void unbound() {
    msg(m_unbound);
}

// A pasted block goes in as it came, in one insertion and one undo step:
// no key of it runs a command.
void insertpasted() {
    std::string &text = reader.pasted;
    // A key count of its own on either side, so that typing before or
    // after it is not taken into the same run of typing.
    ++reader.keycount;
    if (!modeless)
        msg(m_pasteview);
    else if (!text.empty())
        insertbytes(text.data(), text.size());
    ++reader.keycount;
    text.clear();
    text.shrink_to_fit();
}

void literal() {
    msg(m_literal, key_mode[0].lhs ? keytext({k_literal, key_mode[0].lhs, 1}) : "");
    drawmessage();
    int c = readbyte(-1);
    msgflag = 0;
    if (c >= 0) {
        char b = static_cast<char>(c);
        insertbytes(&b, 1);
    }
}

} // namespace kwed
