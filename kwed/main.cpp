// kwed's start-up: the command line, the terminal, the key map, the file
// to edit, the key loop and the way back to the shell.
#include "editor_core.h"

#include <curses.h>

#include <climits>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <term.h> // setupterm; last, for it defines many short macros

namespace kwed {

namespace {

struct settings {
    const char *rcname = "kwed.rc";
    bool rcgiven = false; // named with -f: taken as it is
    long startline = 1;
    long startcolumn = 1; // from +LINE,COLUMN
    const char *file = nullptr;
    const char *ignored = nullptr; // the first argument after the file
};

// The program's name after its last '/' or '\'.
const char *basename_of(const char *argv0) {
    const char *name = argv0;
    for (const char *p = argv0; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

settings parseargs(int argc, char **argv) {
    settings s;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (a[0] != '-' && a[0] != '+') {
            s.file = a;
            s.ignored = i + 1 < argc ? argv[i + 1] : nullptr;
            break;
        }
        if (a[1] == '-' && a[2] == '\0') {
            if (i + 1 < argc)
                s.file = argv[i + 1];
            s.ignored = i + 2 < argc ? argv[i + 2] : nullptr;
            break;
        }
        if (a[0] == '+') {
            char *end;
            long n = std::strtol(a + 1, &end, 10);
            s.startline = n > INT_MAX ? INT_MAX : n;
            s.startcolumn = *end == ',' ? std::strtol(end + 1, nullptr, 10) : 1;
        } else if (a[1] == '\0') {
            continue;
        } else if (a[1] == 'f' && (a[2] != '\0' || i + 1 < argc)) {
            s.rcname = a[2] != '\0' ? a + 2 : argv[++i];
            s.rcgiven = true;
        } else {
            fatal(f_usage);
        }
    }
    return s;
}

// Whether the terminal's description tells how to move the cursor: a
// full-screen editor cannot draw on one that does not (TERM=dumb). A
// description that cannot be loaded is left to newterm to refuse.
bool movescursor(const char *term) {
    int err = 0;
    if (setupterm(term, STDOUT_FILENO, &err) != OK)
        return true;
    const char *cup = tigetstr("cup");
    bool moves = cup != nullptr && cup != reinterpret_cast<const char *>(-1);
    del_curterm(cur_term);
    return moves;
}

// Like initscr, but a terminal that cannot be used gives null instead of
// ending the program inside curses.
WINDOW *startscreen() {
    const char *term = std::getenv("TERM");
    if (!movescursor(term))
        fatal(m_nocursor, term ? term : "");
    SCREEN *screen = newterm(term, stdout, stdin);
    if (screen == nullptr && term && *term)
        fatal(m_noterm, term);
    if (screen == nullptr)
        return nullptr;
    set_term(screen);
    return stdscr;
}

// The key map's special records; where one occurs twice the later wins.
void applyspecials() {
    for (keymap_t *k = key_map; k->code != k_end; ++k) {
        switch (k->code) {
        case k_mode1:
            key_mode[1].lhs = k->lhs;
            break;
        case k_mode2:
            key_mode[2].lhs = k->lhs;
            break;
        case k_textline:
            textline = 0;
            break;
        case k_mode0:
            k->code = k_literal;
            key_mode[0].lhs = k->lhs;
            break;
        case k_modal:
            modeless = 0;
            break;
        default:
            break;
        }
    }
}

void keyloop() {
    while (!done) {
        input = getkey(key_map);
        const table_t &row = tablerow(input);
        if (row.func)
            row.func(the_editor);
        else if (modeless)
            insert();
        display(row.disp);
    }
}

void shutdown() {
    std::signal(SIGQUIT, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    if (scrap != nullptr)
        std::free(scrap);
    scrap = nullptr;
    finikey(key_map);
    wmove(stdscr, LINES - 1, 0);
    wrefresh(stdscr);
    endwin();
    bracketpaste(false);
    std::fputc('\n', stdout);
    freebuffer(the_editor);
}

} // namespace

int run(int argc, char **argv) {
    prog_name = basename_of(argc > 0 && argv[0] ? argv[0] : "kwed");
    settings s = parseargs(argc, argv);
    if (s.file && std::strlen(s.file) >= filename_size)
        fatal(m_longname, s.file);
    // Keys come from the terminal: bytes from a pipe or a file would be
    // taken for commands, one of which may well save over the file.
    if (!isatty(STDIN_FILENO))
        fatal(m_notty);
    if (startscreen() == nullptr)
        fatal(f_initscr);
    rc_keys keys = initkey(s.rcname, s.rcgiven);
    key_map = keys.map;
    if (key_map == nullptr)
        fatal(f_config, nullptr);
    // A run-control file passed over is told in place of what load tells.
    char rcwarning[msgline_size] = "";
    if (msgflag)
        std::memcpy(rcwarning, msgline, sizeof rcwarning);
    modeless = 1;
    the_editor.settings = keys.settings;
    applyspecials();
    noecho();
    lineinput(0);
    idlok(stdscr, TRUE);
    if (s.file) {
        load(s.file);
        std::strcpy(filename, s.file);
        modified = 0;
    }
    if (s.ignored)
        addmessage(the_editor, m_onefile, s.ignored);
    if (rcwarning[0]) {
        std::memcpy(msgline, rcwarning, sizeof rcwarning);
        msgflag = 1;
    }
    if (!growgap(8096))
        fatal(f_alloc);
    top();
    // A start line past the end stops on the last line: down moves no more.
    for (long i = 1; i < s.startline; ++i) {
        offset_t before = the_editor.buffer.point;
        down();
        if (the_editor.buffer.point == before)
            break;
    }
    gotocolumn(the_editor, s.startcolumn);
    centre_now = 1;
    int saved = msgflag;
    help();
    msgflag = saved;
    if (std::signal(SIGQUIT, SIG_IGN) == SIG_ERR || std::signal(SIGINT, SIG_IGN) == SIG_ERR)
        fatal(f_error);
    // A hang-up or a termination signal ends the editor through the rescue
    // of unsaved text, as the end of input does.
    if (catchendsignals() != 0)
        fatal(f_error);
    keyloop();
    shutdown();
    return 0;
}

} // namespace kwed

int main(int argc, char **argv) {
    // The locale's character set lets wide-character curses show UTF-8.
    std::setlocale(LC_ALL, "");
    return kwed::run(argc, argv);
}
