// kwed: the interface between the start-up module, the run-control and
// message services and the editor core. Every name that crosses files is
// declared here, once, in namespace kwed.
//
// Where things are defined:
//   core_globals.cpp  the running editor and the views of it below
//                     (key_map, key_mode, the int flags, filename, msgline,
//                     scrap, message), prog_name and the start-up message
//                     ids f_ok .. f_alloc
//   rcfile.cpp        openrc, pathname
//   getblock.cpp      getblock
//   encode.cpp        encode
//   messages.cpp      getmsg, msg, fatal
//   strings.cpp       strlwr, strdup, strrep
//   the editor core   table, initkey, finikey, getkey, load, growgap, top,
//                     down, help, insert, display (startup_calls.cpp: the
//                     calls on the running editor)
//   main.cpp          main
//   line_input.cpp    lineinput
#ifndef KWED_KWED_H
#define KWED_KWED_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kwed {

// ---------------------------------------------------------------- records

// One entry of the key map that initkey builds. The two words are the
// core's own: 32-bit handles (for instance offsets into a string pool the
// core owns), never pointers, so that the record has the same layout on
// 32-bit and 64-bit machines. Start-up copies the first word only.
struct keymap_t {
    std::int16_t code;
    std::uint32_t lhs;
    std::uint32_t rhs;
};

// Key map codes with a fixed meaning.
constexpr std::int16_t k_end = -1;        // ends the key map
constexpr std::int16_t k_literal = -2;    // a -102 record becomes this one
constexpr std::int16_t k_mode1 = -135;    // first word into key_mode[1]
constexpr std::int16_t k_mode2 = -130;    // first word into key_mode[2]
constexpr std::int16_t k_textline = -126; // textline := 0
constexpr std::int16_t k_mode0 = -102;    // first word into key_mode[0], code := -2
constexpr std::int16_t k_modal = -101;    // modeless := 0

// The editor record that every command works on (editor_core.h), and
// what a command returns.
struct editor;
enum class result : int;

// A command: it works on the editor it is given and says how it went.
using command_t = result (*)(editor &);

// One row of the command table. The row whose key is 0 ends the table and
// is also the row used for every key that no earlier row names.
struct table_t {
    std::int16_t key;
    command_t func;
    std::int32_t disp;
};

// What the run-control file's directives set: the title on the header
// (a handle of its text among the key texts, 0 for the built-in one), the
// columns between tab stops (0 for 8), whether the header shows (1, the
// first text row below it) and whether keys that no command takes are
// typed (1). The literal key's text, when a special record names it.
struct rc_settings {
    std::uint32_t title = 0;
    std::uint32_t tabsize = 0;
    std::uint32_t literal = 0;
    int header = 1;
    int modeless = 1;
};

// What initkey gives: the key map (null when the file cannot be used),
// which holds the key texts after its end record, and the settings.
struct rc_keys {
    keymap_t *map = nullptr;
    rc_settings settings;
};

// ------------------------------------------------------------------ sizes

// Entries in key_mode (start-up fills 0, 1 and 2).
constexpr std::size_t key_mode_size = 3;
// Room for a file name: any path the kernel accepts (PATH_MAX) and its NUL.
constexpr std::size_t filename_size = 4096;
// Room for one message line with its NUL; msg cuts longer texts.
constexpr std::size_t msgline_size = 1024;
// Entries in the message replacement table; ids number 0 .. message_size-1.
constexpr std::size_t message_size = 128;

// ------------------------------------------------- the running editor
//
// The editor that the program runs. The names below are views of its
// fields, for start-up and the message services: they read and write the
// record itself.

extern editor the_editor;

// key_mode[n].lhs: entry 0 is the literal key's text, 1 the title, 2 the
// tab size, as the special records of the key map set them.
struct key_mode_entry {
    std::uint32_t &lhs;
};
struct key_mode_view {
    key_mode_entry operator[](std::size_t n) const;
};
extern const key_mode_view key_mode;

extern keymap_t *&key_map;
extern const table_t *const table; // the rows, defined by the editor core

extern int &done;     // nonzero ends the key loop
extern int &modeless; // unbound keys are inserted
extern int &textline;
extern int &centre_now;
extern int &msgflag; // a message waits in msgline
extern int &modified;
extern int &input; // the key being dispatched

extern char (&filename)[filename_size];
extern char (&msgline)[msgline_size];
extern char *&scrap;          // heap block or null; freed by start-up at the end
extern const char *prog_name; // program name as used in fatal messages

// message[n], when not null, replaces the built-in text of every message
// id numbered n. Entries set by the core are heap copies that it owns.
extern char *(&message)[message_size];

// ------------------------------------------------------------ message ids
//
// A message id is a number, one separator character and the built-in
// printf format: "3:usage: %s ...\n". Numbers 0 to 19 belong to the
// start-up module; the editor core numbers its own ids from 20 on.

extern const char *const f_ok;
extern const char *const f_error;
extern const char *const f_usage;
extern const char *const f_initscr;
extern const char *const f_config;
extern const char *const f_alloc;

// ----------------------------------------- run-control file (rcfile.cpp)

// Opens the run-control file: the name itself, then under $HOME, then
// under etcdir(). Returns null when none opens. Unless the name was given
// (with -f), a candidate that belongs to another user than this one or
// root, or that others may write to, is passed over with a message.
std::FILE *openrc(const char *name, bool given = false);

// The system folder of run-control files: $ETCDIR, or when that is not set
// the folder the build was configured to install into (/etc for a /usr
// prefix, /usr/local/etc for /usr/local).
const char *etcdir();

// directory + "/" + name on the heap, exactly one slash between them; a
// null argument counts as empty. Null when memory runs out.
char *pathname(const char *dir, const char *name);

// getblock results other than a block size.
constexpr int gb_eof = -1;
constexpr int gb_error = -2;
constexpr int gb_nomem = -3;

// Reads one logical line (backslash-newline joins lines) into a heap
// buffer ending in newline and NUL; returns its size including both, or
// gb_eof, gb_error, gb_nomem with *block set to null.
int getblock(std::FILE *fp, char **block);

// ---------------------------------------------------- keys (encode.cpp)

// Encodes a key text ("^A", "\e[A", "$(kcuu1)") into the bytes the
// terminal sends; heap result, or null when the text is not valid. Writes
// into `text`. Needs the terminal description loaded (after initscr).
char *encode(char *text);

// ----------------------------------------------- messages (messages.cpp)

// The text to use for a message id: the replacement or the built-in text.
const char *getmsg(const char *id);

// Whether a replacement text takes the same printf arguments as the
// built-in text it replaces (and no %n, no positional arguments).
bool same_arguments(const char *replacement, const char *builtin);

// Formats a message into out[size], cut to fit without splitting a
// character; an unusable format gives an empty text.
void vformatmsg(char *out, std::size_t size, const char *id, std::va_list ap);

// Formats a message into msgline (cut to fit) and sets msgflag.
void msg(const char *id, ...);

// Closes curses if it is active, writes the message to standard error and
// exits: 0 for f_ok, 1 for f_error, 2 for f_usage, 3 for any other id.
[[noreturn]] void fatal(const char *id, ...);

// -------------------------------------------------- strings (strings.cpp)

char *strlwr(char *s);
char *strdup(const char *s);
// Replaces occurrence n of `from` by `to`: all for 0, the n-th from the
// start for n > 0, from the end for n < 0. Returns s.
char *strrep(char *s, int from, int to, int n);

// ---------------------------------------------------- the editor core

// given: the name came with -f, and is taken as it is (see openrc).
rc_keys initkey(const char *rcname, bool given = false);
void finikey(keymap_t *map);
int getkey(editor &ed, keymap_t *map);
int growgap(std::size_t n);
void display(editor &ed, std::int32_t disp);

// The core's calls as start-up makes them, on the running editor.
int getkey(keymap_t *map);
int load(const char *fn);
void top();
void down();
void help();
void insert();
void display(std::int32_t disp);

// ------------------------------------------------ start-up (line_input.cpp)

// Line input (nonzero) or character input (zero). 0 on success.
int lineinput(int line);

} // namespace kwed

#endif
