// Undo: every change to the text is recorded; undo takes back the history.changes
// of the last key, and a run of typed characters counts as one change.
#include "editor_core.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace kwed {

namespace {

undo_history &history = buffer.undo;

void push(change c) {
    history.typing = false;
    if (static_cast<long>(history.changes.size()) < history.saved_depth)
        history.saved_depth = -1;
    history.changes.push_back(c);
}

void setmodified() {
    modified = static_cast<long>(history.changes.size()) != history.saved_depth;
}

} // namespace

int edit_insert(offset_t at, const char *s, std::size_t n) {
    if (!raw_insert(at, s, n))
        return 0;
    change *last = history.changes.empty() ? nullptr : &history.changes.back();
    // A run of typing ends with a newline; the next line starts a new one.
    bool typing = n == 1 && *s != '\n' && (at == 0 || byteat(at - 1) != '\n');
    // Only a character that is all its key did can be extended by the next
    // one: not the text a paste or a replace put in.
    bool extendable = n == 1 && *s != '\n' && (last == nullptr || last->key != reader.keycount);
    if (last && typing && history.typing && last->inserted && last->key == reader.keycount - 1 &&
        last->at + static_cast<offset_t>(last->n) == at &&
        static_cast<long>(history.changes.size()) != history.saved_depth) {
        ++last->n;
        last->key = reader.keycount;
    } else {
        push({true, at, n, nullptr, reader.keycount});
    }
    history.typing = extendable;
    setmodified();
    return 1;
}

void edit_delete(offset_t at, std::size_t n) {
    char *text = static_cast<char *>(std::malloc(n ? n : 1));
    if (text == nullptr) {
        undo_clear(); // too little memory to keep the history
        history.saved_depth = -1;
    } else {
        copytext(at, n, text);
        push({false, at, n, text, reader.keycount});
    }
    raw_delete(at, n);
    setmodified();
}

int undo_last() {
    if (history.changes.empty())
        return 0;
    long key = history.changes.back().key;
    while (!history.changes.empty() && history.changes.back().key == key) {
        change c = history.changes.back();
        history.changes.pop_back();
        if (c.inserted) {
            raw_delete(c.at, c.n);
            buffer.point = c.at;
        } else {
            if (!raw_insert(c.at, c.text, c.n)) {
                history.changes.push_back(c);
                msg(m_nomem);
                return 1;
            }
            buffer.point = c.at;
            std::free(c.text);
        }
    }
    history.typing = false;
    setmodified();
    msg(m_undone);
    return 1;
}

void undo_mark_saved() {
    history.saved_depth = static_cast<long>(history.changes.size());
}

void undo_clear() {
    for (change &c : history.changes)
        std::free(c.text);
    history.changes.clear();
    history.saved_depth = 0;
}

} // namespace kwed
