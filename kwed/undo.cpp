// Undo: every change to the text is recorded; undo takes back the changes
// of the last key, and a run of typed characters counts as one change.
#include "editor_core.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace kwed {

namespace {

struct change {
    bool inserted; // else deleted
    offset_t at;
    std::size_t n;
    char *text; // the deleted bytes (null for insertions)
    long key;   // keycount of the key that made it
};

std::vector<change> changes;
// How many changes the file on disk holds; -1 when undo went below it and
// new changes followed, so that no state matches the disk any more.
long saved_depth = 0;

void push(change c) {
    if (static_cast<long>(changes.size()) < saved_depth)
        saved_depth = -1;
    changes.push_back(c);
}

void setmodified() {
    modified = static_cast<long>(changes.size()) != saved_depth;
}

} // namespace

int edit_insert(offset_t at, const char *s, std::size_t n) {
    if (!raw_insert(at, s, n))
        return 0;
    change *last = changes.empty() ? nullptr : &changes.back();
    // A run of typing ends with a newline; the next line starts a new one.
    bool typing = n == 1 && *s != '\n' && (at == 0 || byteat(at - 1) != '\n');
    if (last && typing && last->inserted && last->key == keycount - 1 &&
        last->at + static_cast<offset_t>(last->n) == at &&
        static_cast<long>(changes.size()) != saved_depth) {
        ++last->n;
        last->key = keycount;
    } else {
        push({true, at, n, nullptr, keycount});
    }
    setmodified();
    return 1;
}

void edit_delete(offset_t at, std::size_t n) {
    char *text = static_cast<char *>(std::malloc(n ? n : 1));
    if (text == nullptr) {
        undo_clear(); // too little memory to keep the history
        saved_depth = -1;
    } else {
        copytext(at, n, text);
        push({false, at, n, text, keycount});
    }
    raw_delete(at, n);
    setmodified();
}

int undo_last() {
    if (changes.empty())
        return 0;
    long key = changes.back().key;
    while (!changes.empty() && changes.back().key == key) {
        change c = changes.back();
        changes.pop_back();
        if (c.inserted) {
            raw_delete(c.at, c.n);
            point = c.at;
        } else {
            if (!raw_insert(c.at, c.text, c.n)) {
                changes.push_back(c);
                msg(m_nomem);
                return 1;
            }
            point = c.at;
            std::free(c.text);
        }
    }
    setmodified();
    msg(m_undone);
    return 1;
}

void undo_mark_saved() {
    saved_depth = static_cast<long>(changes.size());
}

void undo_clear() {
    for (change &c : changes)
        std::free(c.text);
    changes.clear();
    saved_depth = 0;
}

} // namespace kwed
