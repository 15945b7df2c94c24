// Undo and redo: every change to the text is recorded; undo takes back the
// changes of the last key, and a run of typed characters on one line counts
// as one change. What undo takes back waits for redo until a new change.
#include "editor_core.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace kwed {

namespace {

long depth(const undo_history &history) {
    return static_cast<long>(history.changes.size());
}

void dropredo(undo_history &history) {
    for (change &c : history.redo)
        std::free(c.text);
    history.redo.clear();
}

void setmodified(editor &ed) {
    undo_history &history = ed.buffer.undo;
    // Below the saved state with nothing left to redo, it cannot come back.
    if (history.redo.empty() && depth(history) < history.saved_depth)
        history.saved_depth = -1;
    ed.modified = depth(history) != history.saved_depth;
}

// A new change: what undo took back can no longer be redone.
void push(editor &ed, change c) {
    undo_history &history = ed.buffer.undo;
    history.typing = false;
    dropredo(history);
    setmodified(ed); // which forgets a saved state that redo alone could reach
    history.changes.push_back(c);
}

// Whether the n bytes at s are one character, as one typed key gives.
bool onechar(const char *s, std::size_t n) {
    int len;
    decodeutf8(reinterpret_cast<const unsigned char *>(s), n, &len);
    return static_cast<std::size_t>(len) == n;
}

// Applies c (inserted or deleted) to the text again, or takes it back.
int apply(editor &ed, const change &c, bool again) {
    if (c.inserted != again) {
        raw_delete(ed, c.at, c.n);
        return 1;
    }
    return raw_insert(ed, c.at, c.text, c.n);
}

} // namespace

int edit_insert(editor &ed, offset_t at, const char *s, std::size_t n) {
    if (!raw_insert(ed, at, s, n))
        return 0;
    undo_history &history = ed.buffer.undo;
    long keycount = ed.reader.keycount;
    change *last = history.changes.empty() ? nullptr : &history.changes.back();
    // A run of typing ends with a newline; the next line starts a new one.
    bool typing = onechar(s, n) && *s != '\n' && (at == 0 || byteat(ed.buffer, at - 1) != '\n');
    // Only a character that is all its key did can be extended by the next
    // one: not the text a paste or a replace put in.
    bool extendable = onechar(s, n) && *s != '\n' && (last == nullptr || last->key != keycount);
    if (last && typing && history.typing && history.redo.empty() && last->inserted &&
        last->key == keycount - 1 && last->at + static_cast<offset_t>(last->n) == at &&
        depth(history) != history.saved_depth) {
        last->n += n;
        last->key = keycount;
    } else {
        push(ed, {true, at, n, nullptr, keycount});
    }
    history.typing = extendable;
    setmodified(ed);
    return 1;
}

void edit_delete(editor &ed, offset_t at, std::size_t n) {
    undo_history &history = ed.buffer.undo;
    char *text = static_cast<char *>(std::malloc(n ? n : 1));
    if (text == nullptr) {
        undo_clear(ed); // too little memory to keep the history
        history.saved_depth = -1;
    } else {
        copytext(ed.buffer, at, n, text);
        push(ed, {false, at, n, text, ed.reader.keycount});
    }
    raw_delete(ed, at, n);
    setmodified(ed);
}

int undo_last(editor &ed) {
    undo_history &history = ed.buffer.undo;
    if (history.changes.empty())
        return 0;
    long key = history.changes.back().key;
    bool keep = true; // redo can have this group back
    while (!history.changes.empty() && history.changes.back().key == key) {
        change c = history.changes.back();
        if (c.inserted && keep) {
            c.text = static_cast<char *>(std::malloc(c.n ? c.n : 1));
            if (c.text != nullptr)
                copytext(ed.buffer, c.at, c.n, c.text);
        }
        if (!apply(ed, c, false)) {
            msg(ed, m_nomem);
            return 1;
        }
        history.changes.pop_back();
        ed.buffer.point = c.at;
        if (keep && c.text != nullptr) {
            history.redo.push_back(c);
        } else {
            // Without the inserted text the group cannot come back whole.
            std::free(c.text);
            keep = false;
            dropredo(history);
        }
    }
    setmodified(ed);
    history.typing = false;
    msg(ed, m_undone);
    return 1;
}

int redo_last(editor &ed) {
    undo_history &history = ed.buffer.undo;
    if (history.redo.empty())
        return 0;
    long key = history.redo.back().key;
    while (!history.redo.empty() && history.redo.back().key == key) {
        change c = history.redo.back();
        if (!apply(ed, c, true)) {
            msg(ed, m_nomem);
            return 1;
        }
        history.redo.pop_back();
        ed.buffer.point = c.inserted ? c.at + static_cast<offset_t>(c.n) : c.at;
        if (c.inserted) {
            std::free(c.text); // the text holds them again
            c.text = nullptr;
        }
        history.changes.push_back(c);
    }
    setmodified(ed);
    history.typing = false;
    msg(ed, m_redone);
    return 1;
}

void undo_mark_saved(editor &ed) {
    ed.buffer.undo.saved_depth = depth(ed.buffer.undo);
}

void undo_clear(editor &ed) {
    undo_history &history = ed.buffer.undo;
    dropredo(history);
    for (change &c : history.changes)
        std::free(c.text);
    history.changes.clear();
    history.saved_depth = 0;
}

} // namespace kwed
