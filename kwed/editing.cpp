// Commands that change the text: typing, Backspace and Delete, Enter and
// Tab, the mark and the scrap (cut, copy, paste), literal input, undo and
// redo.
#include "editor_core.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kwed {

namespace {

result insertbytes(editor &ed, const char *s, std::size_t n) {
    if (!edit_insert(ed, ed.buffer.point, s, n)) {
        msg(ed, m_nomem);
        return result::failed;
    }
    ed.buffer.point += static_cast<offset_t>(n);
    return result::ok;
}

// The current line with its newline: [start, end).
void currentline(const text_buffer &b, offset_t *start, offset_t *end) {
    *start = linestart(b, b.point);
    *end = lineend(b, b.point);
    if (*end < textsize(b))
        ++*end;
}

// Puts the bytes [from, to) into the scrap, after what is there when add.
bool toscrap(editor &ed, offset_t from, offset_t to, bool add) {
    scrap_state &scrap = ed.scrap;
    const text_buffer &b = ed.buffer;
    std::size_t n = static_cast<std::size_t>(to - from);
    std::size_t keep = add ? scrap.len : 0;
    char *p = static_cast<char *>(std::realloc(scrap.text, keep + n + 1));
    if (p == nullptr) {
        msg(ed, m_nomem);
        return false;
    }
    copytext(b, from, n, p + keep);
    p[keep + n] = '\0';
    scrap.text = p;
    scrap.len = keep + n;
    if (keep == 0)
        scrap.atline = from == linestart(b, from);
    scrap.lines = scrap.atline && (to == textsize(b) || byteat(b, to - 1) == '\n');
    return true;
}

void scrapmessage(editor &ed) {
    const scrap_state &scrap = ed.scrap;
    long long n = 0;
    if (scrap.lines) {
        n = std::count(scrap.text, scrap.text + scrap.len, '\n');
        if (scrap.len && scrap.text[scrap.len - 1] != '\n')
            ++n;
        msg(ed, n == 1 ? m_scrap1 : m_scrap, n);
        return;
    }
    const auto *s = reinterpret_cast<const unsigned char *>(scrap.text);
    for (std::size_t i = 0; i < scrap.len; ++n) {
        int len;
        decodeutf8(s + i, scrap.len - i, &len);
        i += static_cast<std::size_t>(len);
    }
    msg(ed, n == 1 ? m_scrapchar1 : m_scrapchars, n);
}

// Cut (the text goes) and copy take the region when the mark is set, and
// clear the mark; true when they did. An empty region leaves the scrap.
bool takeregion(editor &ed, bool remove) {
    offset_t from, to;
    if (!region(ed.buffer, &from, &to))
        return false;
    ed.buffer.mark = -1;
    ed.scrap.lastcut = ed.scrap.lastcopy = -1;
    if (from == to) {
        msg(ed, m_markgone);
        return true;
    }
    if (!toscrap(ed, from, to, false))
        return true;
    if (remove) {
        edit_delete(ed, from, static_cast<std::size_t>(to - from));
        ed.buffer.point = from;
    }
    scrapmessage(ed);
    return true;
}

// Moves [from, to) into the scrap; cuts in a row gather.
result cutspan(editor &ed, offset_t from, offset_t to) {
    if (!toscrap(ed, from, to, ed.scrap.lastcut == ed.reader.keycount - 1))
        return result::failed;
    ed.scrap.lastcut = ed.reader.keycount;
    edit_delete(ed, from, static_cast<std::size_t>(to - from));
    ed.buffer.point = from;
    scrapmessage(ed);
    return result::ok;
}

} // namespace

result insert(editor &ed) {
    char text[4];
    int c = ed.input;
    if (c < 0)
        return result::failed; // no key: the terminal went away
    if (c & raw_byte) {
        text[0] = static_cast<char>(c & 0xFF);
        return insertbytes(ed, text, 1);
    }
    // A control byte goes in only through the literal command: a key that
    // no command takes never puts one there.
    if (c >= 32 && c != 127 && c < 0x110000)
        return insertbytes(ed, text, utf8encode(c, text));
    msg(ed, m_unbound);
    return result::failed;
}

result newline(editor &ed) {
    return insertbytes(ed, "\n", 1);
}
result tab(editor &ed) {
    return insertbytes(ed, "\t", 1);
}

result backspace(editor &ed) {
    text_buffer &b = ed.buffer;
    if (b.point == 0)
        return result::failed;
    offset_t p = prevcluster(b, b.point);
    edit_delete(ed, p, static_cast<std::size_t>(b.point - p));
    b.point = p;
    return result::ok;
}

result delete_char(editor &ed) {
    text_buffer &b = ed.buffer;
    offset_t n = nextcluster(b, b.point);
    if (n == b.point)
        return result::failed;
    edit_delete(ed, b.point, static_cast<std::size_t>(n - b.point));
    return result::ok;
}

bool region(const text_buffer &b, offset_t *from, offset_t *to) {
    offset_t m = b.mark;
    if (m < 0)
        return false;
    *from = m < b.point ? m : b.point;
    *to = m < b.point ? b.point : m;
    return true;
}

result setmark(editor &ed) {
    text_buffer &b = ed.buffer;
    bool set = b.mark < 0;
    b.mark = set ? b.point : -1;
    msg(ed, set ? m_markset : m_markgone);
    return result::ok;
}

result cut(editor &ed) {
    if (takeregion(ed, true))
        return result::ok;
    offset_t start, end;
    currentline(ed.buffer, &start, &end);
    // The empty last line has nothing to cut: the scrap stays as it is.
    if (start == end)
        return result::failed;
    return cutspan(ed, start, end);
}

// From the cursor to the end of the line; at the end, the newline.
result cutend(editor &ed) {
    const text_buffer &b = ed.buffer;
    offset_t end = lineend(b, b.point);
    if (end == b.point && end < textsize(b))
        ++end;
    if (end == b.point)
        return result::failed;
    return cutspan(ed, b.point, end);
}

// From the cursor to the end of the text.
result cuttoend(editor &ed) {
    offset_t size = textsize(ed.buffer);
    if (ed.buffer.point == size)
        return result::failed;
    return cutspan(ed, ed.buffer.point, size);
}

result copy(editor &ed) {
    if (takeregion(ed, false))
        return result::ok;
    offset_t start, end;
    currentline(ed.buffer, &start, &end);
    scrap_state &scrap = ed.scrap;
    bool gather = scrap.lastcopy == ed.reader.keycount - 1;
    // A copy in a row that could not move on (the last line) has the line
    // in the scrap already.
    if (gather && start < scrap.copyend)
        start = end;
    if (!toscrap(ed, start, end, gather))
        return result::failed;
    scrap.lastcopy = ed.reader.keycount;
    scrap.copyend = end;
    ed.buffer.point = end;
    scrapmessage(ed);
    return result::ok;
}

result paste(editor &ed) {
    if (ed.scrap.text == nullptr || ed.scrap.len == 0) {
        msg(ed, m_emptyscrap);
        return result::failed;
    }
    return insertbytes(ed, ed.scrap.text, ed.scrap.len);
}

result undo(editor &ed) {
    if (undo_last(ed))
        return result::ok;
    msg(ed, m_noundo);
    return result::failed;
}

result redo(editor &ed) {
    if (redo_last(ed))
        return result::ok;
    msg(ed, m_noredo);
    return result::failed;
}

result unbound(editor &ed) {
    msg(ed, m_unbound);
    return result::failed;
}

// A pasted block goes in as it came, in one insertion and one undo step:
// no key of it runs a command.
result insertpasted(editor &ed) {
    std::string &text = ed.reader.pasted;
    // A key count of its own on either side, so that typing before or
    // after it is not taken into the same run of typing.
    ++ed.reader.keycount;
    result r = result::ok;
    if (!ed.settings.modeless) {
        msg(ed, m_pasteview);
        r = result::failed;
    } else if (!text.empty()) {
        r = insertbytes(ed, text.data(), text.size());
    }
    ++ed.reader.keycount;
    text.clear();
    text.shrink_to_fit();
    return r;
}

result literal(editor &ed) {
    std::uint32_t given = ed.settings.literal;
    const char *key = given ? keytext(ed.keys, {k_literal, given, 1}) : keyfor(ed, k_literal);
    msg(ed, m_literal, key ? key : "");
    drawmessage(ed);
    int c = readbyte(ed, -1);
    ed.msgflag = 0;
    if (c < 0)
        return result::cancelled;
    char b = static_cast<char>(c);
    return insertbytes(ed, &b, 1);
}

} // namespace kwed
