// Commenting lines out and back in: the current line, or every line that
// the region touches, gets a '#' at its start; when all of them begin with
// one already, it is taken away instead. One undo takes it all back.
#include "editor_core.h"

#include <vector>

namespace kwed {

namespace {

constexpr char comment_mark = '#';

// The starts of the lines from the one that holds from to the one that
// holds to; a region that ends at the start of a line leaves that line out.
std::vector<offset_t> linestarts(const text_buffer &b, offset_t from, offset_t to) {
    std::vector<offset_t> starts;
    offset_t size = textsize(b);
    if (to > from && to > 0 && byteat(b, to - 1) == '\n')
        --to;
    for (offset_t ls = linestart(b, from);; ls = lineend(b, ls) + 1) {
        starts.push_back(ls);
        if (lineend(b, ls) >= to || lineend(b, ls) >= size)
            break;
    }
    return starts;
}

bool allcommented(const text_buffer &b, const std::vector<offset_t> &starts) {
    for (offset_t ls : starts)
        if (ls >= textsize(b) || byteat(b, ls) != comment_mark)
            return false;
    return true;
}

} // namespace

result comment(editor &ed) {
    text_buffer &b = ed.buffer;
    offset_t from = b.point, to = b.point;
    bool marked = region(b, &from, &to);
    std::vector<offset_t> starts = linestarts(b, from, to);
    bool uncomment = allcommented(b, starts);
    // From the last line up, so that the starts before stay where they are.
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        offset_t ls = *it;
        if (uncomment) {
            edit_delete(ed, ls, 1);
            b.point -= b.point > ls ? 1 : 0;
        } else if (edit_insert(ed, ls, &comment_mark, 1)) {
            b.point += b.point > ls ? 1 : 0;
        } else {
            msg(ed, m_nomem);
            return result::failed;
        }
    }
    // Without a region the cursor goes on to the next line, so that the
    // key run again takes line after line.
    if (!marked) {
        offset_t e = lineend(b, b.point);
        if (e < textsize(b))
            b.point = e + 1;
    }
    return result::ok;
}

} // namespace kwed
