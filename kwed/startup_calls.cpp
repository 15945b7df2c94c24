// The editor core's calls as start-up makes them: each works on the
// running editor.
#include "editor_core.h"

namespace kwed {

int getkey(keymap_t *map) {
    return getkey(the_editor, map);
}

int load(const char *fn) {
    return load(the_editor, fn);
}

int growgap(std::size_t n) {
    return growgap(the_editor.buffer, n);
}

void top() {
    top(the_editor);
}

void down() {
    down(the_editor);
}

void help() {
    help(the_editor);
}

void insert() {
    insert(the_editor);
}

void display(std::int32_t disp) {
    display(the_editor, disp);
}

} // namespace kwed
