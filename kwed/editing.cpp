// Commands that change the text: typing, Backspace and Delete, Enter and
// Tab, the scrap (cut, copy, paste), literal input and undo.
#include "editor_core.h"

#include <cstdlib>
#include <cstring>

namespace kwed {

namespace {

// The scrap's length: it may hold zero bytes.
std::size_t scrap_len = 0;

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
    return true;
}

void scrapmessage() {
    long long n = 0;
    for (std::size_t i = 0; i < scrap_len; ++i)
        n += scrap[i] == '\n';
    if (scrap_len && scrap[scrap_len - 1] != '\n')
        ++n;
    msg(m_scrap, n);
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

void cut() {
    offset_t start, end;
    currentline(&start, &end);
    if (!toscrap(start, end, lastcut == reader.keycount - 1))
        return;
    lastcut = reader.keycount;
    edit_delete(start, static_cast<std::size_t>(end - start));
    buffer.point = start;
    scrapmessage();
}

void copy() {
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
