// Undo and redo: every change to the text is recorded; undo takes back the
// changes of the last key, and a run of typed characters on one line counts
// as one change. What undo takes back waits for redo until a new change.
#include "editor_core.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace kwed {

namespace {

undo_history &history = buffer.undo;

long depth() {
    return static_cast<long>(history.changes.size());
}

void dropredo() {
    for (change &c : history.redo)
        std::free(c.text);
    history.redo.clear();
}

void setmodified() {
    // Below the saved state with nothing left to redo, it cannot come back.
    if (history.redo.empty() && depth() < history.saved_depth)
        history.saved_depth = -1;
    modified = depth() != history.saved_depth;
}

// A new change: what undo took back can no longer be redone.
void push(change c) {
    history.typing = false;
    dropredo();
    setmodified(); // which forgets a saved state that redo alone could reach
    history.changes.push_back(c);
}

// Whether the n bytes at s are one character, as one typed key gives.
bool onechar(const char *s, std::size_t n) {
    int len;
    decodeutf8(reinterpret_cast<const unsigned char *>(s), n, &len);
    return static_cast<std::size_t>(len) == n;
}

// Applies c (inserted or deleted) to the text again, or takes it back.
int apply(const change &c, bool again) {
    if (c.inserted != again) {
        raw_delete(c.at, c.n);
        return 1;
    }
    return raw_insert(c.at, c.text, c.n);
}

} // namespace

int edit_insert(offset_t at, const char *s, std::size_t n) {
    if (!raw_insert(at, s, n))
        return 0;
    change *last = history.changes.empty() ? nullptr : &history.changes.back();
    // A run of typing ends with a newline; the next line starts a new one.
    bool typing = onechar(s, n) && *s != '\n' && (at == 0 || byteat(at - 1) != '\n');
    // Only a character that is all its key did can be extended by the next
    // one: not the text a paste or a replace put in.
    bool extendable =
        onechar(s, n) && *s != '\n' && (last == nullptr || last->key != reader.keycount);
    if (last && typing && history.typing && history.redo.empty() && last->inserted &&
        last->key == reader.keycount - 1 && last->at + static_cast<offset_t>(last->n) == at &&
        depth() != history.saved_depth) {
        last->n += n;
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
    bool keep = true; // redo can have this group back
    while (!history.changes.empty() && history.changes.back().key == key) {
        change c = history.changes.back();
        if (c.inserted && keep) {
            c.text = static_cast<char *>(std::malloc(c.n ? c.n : 1));
            if (c.text != nullptr)
                copytext(c.at, c.n, c.text);
        }
        if (!apply(c, false)) {
            msg(m_nomem);
            return 1;
        }
        history.changes.pop_back();
        buffer.point = c.at;
        if (keep && c.text != nullptr) {
            history.redo.push_back(c);
        } else {
            // Without the inserted text the group cannot come back whole.
            std::free(c.text);
            keep = false;
            dropredo();
        }
    }
    setmodified();
    history.typing = false;
    msg(m_undone);
    return 1;
}

int redo_last() {
    if (history.redo.empty())
        return 0;
    long key = history.redo.back().key;
    while (!history.redo.empty() && history.redo.back().key == key) {
        change c = history.redo.back();
        if (!apply(c, true)) {
            msg(m_nomem);
            return 1;
        }
        history.redo.pop_back();
        buffer.point = c.inserted ? c.at + static_cast<offset_t>(c.n) : c.at;
        if (c.inserted) {
            std::free(c.text); // the text holds them again
            c.text = nullptr;
        }
        history.changes.push_back(c);
    }
    setmodified();
    history.typing = false;
    msg(m_redone);
    return 1;
}

void undo_mark_saved() {
    history.saved_depth = depth();
}

void undo_clear() {
    dropredo();
    for (change &c : history.changes)
        std::free(c.text);
    history.changes.clear();
    history.saved_depth = 0;
}

} // namespace kwed
