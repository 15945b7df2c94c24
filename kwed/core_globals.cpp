// The running editor, the views of its fields that start-up and the
// message services use by their own names, and the message ids that
// start-up ends with.
#include "editor_core.h"

namespace kwed {

editor the_editor;

key_mode_entry key_mode_view::operator[](std::size_t n) const {
    rc_settings &s = the_editor.settings;
    return {n == 0 ? s.literal : n == 1 ? s.title : s.tabsize};
}
const key_mode_view key_mode;

keymap_t *&key_map = the_editor.keys;

int &done = the_editor.done;
int &modeless = the_editor.settings.modeless;
int &textline = the_editor.settings.header;
int &centre_now = the_editor.centre_now;
int &msgflag = the_editor.msgflag;
int &modified = the_editor.modified;
int &input = the_editor.input;

char (&filename)[filename_size] = the_editor.edited.filename;
char (&msgline)[msgline_size] = the_editor.msgline;
char *&scrap = the_editor.scrap.text;
const char *prog_name = "kwed";

char *(&message)[message_size] = the_editor.messages;

const char *const f_ok = "1:Terminated successfully.\n";
const char *const f_error = "2:Unspecified error.\n";
const char *const f_usage = "3:usage: %s [-f rcfile | -frcfile] [+line] [--] [file]\n";
const char *const f_initscr = "4:Failed to initialise the screen.\n";
const char *const f_config = "5:Problem with the run-control file.\n";
const char *const f_alloc = "6:Failed to allocate required memory.\n";

} // namespace kwed
