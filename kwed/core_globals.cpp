// The globals shared by the start-up module, the message services and the
// editor core, and the message ids that start-up ends with.
#include "kwed.h"

namespace kwed {

keymap_t *key_map = nullptr;
keymap_t key_mode[key_mode_size] = {};

int done = 0;
int modeless = 1;
int textline = 1;
int centre_now = 0;
int msgflag = 0;
int modified = 0;
int input = 0;

char filename[filename_size] = "";
char msgline[msgline_size] = "";
char *scrap = nullptr;
const char *prog_name = "kwed";

char *message[message_size] = {};

const char *f_ok = "1:Terminated successfully.\n";
const char *f_error = "2:Unspecified error.\n";
const char *f_usage = "3:usage: %s [-f rcfile | -frcfile] [+line] [--] [file]\n";
const char *f_initscr = "4:Failed to initialise the screen.\n";
const char *f_config = "5:Problem with the run-control file.\n";
const char *f_alloc = "6:Failed to allocate required memory.\n";

} // namespace kwed
