// The editor core's own interface: the editor record that holds all of an
// editing session's state, the gap buffer, the screen layout, the key
// reader's helpers, the prompt and the command functions. Every command
// takes the editor it works on and returns a result. What the start-up
// module needs of the core is declared in kwed.h; this header holds what
// crosses the core's files only.
#ifndef KWED_EDITOR_CORE_H
#define KWED_EDITOR_CORE_H

#include "core_messages.h"
#include "file_place.h"
#include "kwed.h"
#include "utf8.h"

#include <cstddef>
#include <cstdint>
#include <regex.h>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kwed {

// An offset into the text, counted in bytes from its start.
using offset_t = std::ptrdiff_t;

// ------------------------------------------------------------ the text
//
// The text lives in [buf, gap) and [egap, ebuf); [gap, egap) is free room.
// Edits happen at the gap, which moves to where the cursor edits.

// One change to the text as undo keeps it.
struct change {
    bool inserted; // else deleted
    offset_t at;
    std::size_t n;
    char *text; // the deleted bytes (null for insertions)
    long key;   // keycount of the key that made it
};

// The changes that undo takes back, newest last, and those that redo
// makes again, the next one last (inserted ones keep their text there).
struct undo_history {
    std::vector<change> changes;
    std::vector<change> redo;
    // How many changes the file on disk holds; -1 when undo went below it
    // and new changes followed, so that no state matches the disk any more.
    long saved_depth = 0;
    // The newest change is a run of typing, which the next typed character
    // extends (a paste or a replace that it follows is a change of its own).
    bool typing = false;
};

// The text buffer: the block with its gap, the cursor, a count of changes
// for the display, what line lookups remember, and the undo history.
struct text_buffer {
    char *buf = nullptr;
    char *ebuf = nullptr;
    char *gap = nullptr;
    char *egap = nullptr;
    offset_t point = 0;  // the cursor, as an offset into the text
    unsigned serial = 0; // counts changes to the text, for the display
    // The last line number looked up, so that the next lookup nearby
    // counts only the bytes in between.
    offset_t cache_offset = 0;
    offset_t cache_line = 1;
    // Newlines in the whole text, so that lines near the end are counted
    // from there.
    offset_t newlines = 0;
    undo_history undo;
    // The other end of the region from the cursor, -1 when no mark is set.
    // Changes before it move it; deleting it puts it where they were.
    offset_t mark = -1;
};

// ---------------------------------------------------------- the screen

// A known place on a long line: where a row starts, or a character's column.
struct line_mark {
    offset_t at;
    int col; // the column at `at` (0 for row starts)
};

// Known places on one line, in increasing order. They hold while the text
// before them, the screen width and the tab size stay as they were; they
// also tell that no newline lies between the line's start and the last one.
struct line_marks {
    offset_t line = -1; // the start of the line, or -1
    int cols = 0;
    int tabs = 0;
    std::vector<line_mark> marks;
};

// What the text rows showed when they were last drawn.
struct drawn_state {
    unsigned serial = ~0u;
    offset_t page = -1;
    int lines = 0;
    int cols = 0;
    int textline = -1;
    int helprows = -1;
    int helppage = -1;
    offset_t marked[2] = {-1, -1};
};

// The screen as the commands see it. The first text row is textline; the
// last one is LINES-2; the message line is LINES-1.
struct screen_view {
    offset_t page = 0; // the offset of the first row shown
    int goal = 0;      // display column that up and down aim for
    long helpkey = -1; // the key after which the help panel shows
    int helppage = 0;  // the page of the panel that shows
    // The start-up hint, shown on the message line until the first key.
    char hint[msgline_size] = "";
    // The key of the last vertical move: moves in a row keep the aim.
    long lastvertical = -1;
    // The lowest offset changed since the first row shown was last checked.
    offset_t page_changed = 0;
    drawn_state drawn;
    bool repaint_owed = false; // a repaint was asked for while keys waited
    // Where rows of a long line start, and columns of its characters.
    line_marks rowmarks;
    line_marks columnmarks;
    // The last character column counted: on the line that starts at line,
    // `count` characters come before offset at.
    struct {
        offset_t line = -1;
        offset_t at = -1;
        long count = 0;
    } charcount;
    bool numbers = false;    // line numbers show at the left
    bool whitespace = false; // tabs and blanks show as marks
};

// ------------------------------------------------------------ the keys

// The longest key sequence looked at.
constexpr int longest_key = 32;

// The key reader: keys read so far (commands compare key counts to tell
// runs of the same key), and bytes read but not yet used.
struct key_reader {
    long keycount = 0;
    // What followed a shorter matching key.
    unsigned char pending[longest_key];
    int npending = 0;
    // Bytes read from the terminal in one go, and how far they are used.
    unsigned char inbuf[256];
    int inlen = 0;
    int inpos = 0;
    bool shown = false; // the first screen has been drawn
    // The bytes of the last key read, for prompts that look at them.
    unsigned char last[longest_key];
    int lastlen = 0;
    // The text of the last pasted block (see pasted_key), newlines as LF.
    std::string pasted;
};

// -------------------------------------------------------- the file

// The file on disk as it was read or last saved: whether it existed, and
// its device, inode, size and modification time.
struct diskfile {
    bool known = false;
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime = {};
};

// The file being edited, as saving needs to know it.
struct edited_file {
    // Its name as given (empty for a text without one).
    char filename[filename_size] = "";
    // Set when the file named on the command line exists but could not be
    // read: saving the (empty) text over it asks first.
    int unread = 0;
    // Its lines ended in CR LF on disk: the CRs are not in the text, and
    // saving puts one before every LF again.
    bool crlf = false;
    // It ended in a newline, or is new: saving a text that does not end in
    // one adds one.
    bool finalnewline = true;
    // This user cannot write it (or create it in its folder).
    bool readonly = false;
    // Its folder, opened when it was read (or first saved under this name),
    // and its name there: every save goes through this folder, whatever
    // its path leads to by then.
    place where;
    // What the file on disk was when it was read or last saved.
    diskfile disk;
};

// ------------------------------------------------------- the scrap

// What cut and copy keep for paste.
struct scrap_state {
    char *text = nullptr; // heap block or null
    std::size_t len = 0;  // it may hold zero bytes
    // Whether it holds whole lines (from the start of a line up to the
    // start of another, or the end of the text), which its message counts
    // as lines, not characters; and whether its first piece began a line.
    bool lines = false;
    bool atline = false;
    // The keys of the last cut and copy: repeated ones gather their lines.
    long lastcut = -1;
    long lastcopy = -1;
    // Where the last copy ended: a copy in a row that could not move on
    // (the last line without a newline) adds nothing more.
    offset_t copyend = -1;
};

// ----------------------------------------------------- finding text

// How to look for text; the find and replace prompts toggle these.
struct search_options {
    bool nocase = false;   // letters match in either case
    bool backward = false; // toward the start of the text
    bool regex = false;    // the text is an extended regular expression
};

// Room for a search text or its replacement, with its NUL.
constexpr std::size_t pattern_size = 256;

// The search text compiled as a POSIX extended regular expression, kept
// while the text and the case option stay as they are; and where the
// parenthesised groups of the last match lie (-1 for a group that took
// no part).
class compiled_regex {
  public:
    compiled_regex() = default;
    ~compiled_regex() { release(); }
    compiled_regex(const compiled_regex &) = delete;
    compiled_regex &operator=(const compiled_regex &) = delete;
    // Compiles source; 0, or the error text in error[size].
    int compile(const char *source, bool nocase, char *error, std::size_t size);
    bool ready() const { return ready_; }
    const regex_t &get() const { return re_; }

    static constexpr int groups = 10;
    offset_t from[groups] = {};
    offset_t to[groups] = {};

  private:
    void release() {
        if (ready_)
            regfree(&re_);
        ready_ = false;
    }
    regex_t re_{};
    bool ready_ = false;
    std::string source_;
    bool nocase_ = false;
};

// The last text looked for and the last replacement; the options stay for
// findnext and findprevious.
struct search_state {
    char pattern[pattern_size] = "";
    char replacement[pattern_size] = "";
    search_options options;
    compiled_regex regex;
};

// ----------------------------------------------------------- prompts

// The prompts that keep a history of their answers: find and replace
// share the texts looked for.
enum class history_kind { search, replacement, filename, line, count };

// Answers given before, oldest first, for each kind of prompt.
struct prompt_histories {
    std::vector<std::string> answers[static_cast<int>(history_kind::count)];
};

// The prompt or question on the message line, so that the screen can be
// drawn again while it waits for a key.
struct open_prompt {
    const char *question = nullptr; // null when none is open
    const char *answer = nullptr;   // null for a question without one
    std::size_t cursor = 0;         // where in the answer the cursor is
    bool prefilled = false;         // the first typed character replaces the answer
    const search_options *opt = nullptr;
    bool textcursor = false;    // the cursor stays in the text
    const char *note = nullptr; // why the last key did nothing, shown above
};

// -------------------------------------------------------- the editor

// What a command did: its work, nothing (the message line says why), or
// stopped at the user's word.
enum class result : int { ok = 0, failed = 1, cancelled = 2 };

// Everything an editing session has: the text, the screen, the keys, the
// file, the run-control settings, the message line, the scrap, the search
// and prompt state and the done flag. Every command works on one.
struct editor {
    text_buffer buffer;
    screen_view view;
    key_reader reader;
    edited_file edited;
    keymap_t *keys = nullptr; // the key map: its records and key texts
    rc_settings settings;
    char *messages[message_size] = {}; // replaced message texts, by number
    char msgline[msgline_size] = "";
    int msgflag = 0;  // a message waits in msgline
    int msgshown = 0; // a message shows on the message line
    long msgkey = 0;  // the key it showed after
    scrap_state scrap;
    search_state search;
    prompt_histories histories;
    open_prompt prompt;
    int input = 0; // the key being dispatched
    int done = 0;  // nonzero ends the key loop
    int modified = 0;
    int centre_now = 0; // put the cursor's line in the middle at the next display
};

// Puts a message on ed's message line (cut to fit).
void msg(editor &ed, const char *id, ...);
// Puts a message after the one that waits on ed's message line.
void addmessage(editor &ed, const char *id, ...);
// Tells why the file fn could not be read or written: the message id with
// fn and the system's reason, or that fn is not a regular file.
void fileerror(editor &ed, const char *id, const char *fn, int err);

// After the file's bytes were read into the text: notes its line ends and
// final newline and takes the CRs of CR LF line ends out of the text.
void notelineends(editor &ed);
// The bytes that saving the text writes to disk.
offset_t disksize(const editor &ed);
// The length of the n bytes at p once the CR of each CR LF is taken out,
// when every LF among them follows a CR (and there is one); else n.
std::size_t droplinecrs(char *p, std::size_t n);

// Gap growth step (bytes) beyond what an edit needs at least.
constexpr std::size_t gap_step = 8192;

inline offset_t textsize(const text_buffer &b) {
    return (b.gap - b.buf) + (b.ebuf - b.egap);
}
// The byte at offset o (0 .. textsize()-1).
inline unsigned char byteat(const text_buffer &b, offset_t o) {
    return static_cast<unsigned char>(o < b.gap - b.buf ? b.buf[o] : b.egap[o - (b.gap - b.buf)]);
}
int growgap(text_buffer &b, std::size_t n);
void movegap(text_buffer &b, offset_t o);
// Changes without undo records: 0 when memory runs out.
int raw_insert(editor &ed, offset_t at, const char *s, std::size_t n);
void raw_delete(editor &ed, offset_t at, std::size_t n);
// Copies n bytes of text from offset at into out.
void copytext(const text_buffer &b, offset_t at, std::size_t n, char *out);
// Replaces the whole text by the contents of the file open as fd; returns
// 0 or an errno.
int readfile(editor &ed, int fd);
// Frees the buffer and its undo history (end of run, tests).
void freebuffer(editor &ed);
// The region between the mark and the cursor as [*from, *to); false when
// no mark is set.
bool region(const text_buffer &b, offset_t *from, offset_t *to);

// Line and character structure. Lines end in '\n'; the last one may not.
offset_t linestart(const text_buffer &b, offset_t o);
offset_t lineend(const text_buffer &b, offset_t o); // offset of the '\n' or textsize()
offset_t nextchar(const text_buffer &b, offset_t o);
offset_t prevchar(const text_buffer &b, offset_t o);
// The same, but a character is taken together with the combining
// characters (of no width) that follow it: where the cursor stops.
offset_t nextcluster(const text_buffer &b, offset_t o);
offset_t prevcluster(const text_buffer &b, offset_t o);
// Decodes the character at o: its code point (or the byte, when the bytes
// there are no valid UTF-8), and sets *len to its length in bytes.
std::int32_t charat(const text_buffer &b, offset_t o, int *len);
// Counts the newlines in [from, to).
offset_t countlines(const text_buffer &b, offset_t from, offset_t to);
// The offset where line number n (from 1) starts, or the last line's start.
offset_t linetooffset(const text_buffer &b, offset_t n);
// Line number (from 1) of offset o, with a cache for nearby lookups.
offset_t lineof(text_buffer &b, offset_t o);
// Finds the pattern at or after `from`; -1 when absent.
offset_t findtext(const text_buffer &b, offset_t from, std::string_view pattern);
// Where a match of the pattern at offset o ends, or -1 when none starts
// there.
offset_t matchat(const text_buffer &b, offset_t o, std::string_view pattern, bool nocase);
// Forward, the first match that starts at or after `from`; backward, the
// last one that starts before it. -1 when there is none; else *end is set
// to where the match ends.
offset_t findmatch(const text_buffer &b, offset_t from, std::string_view pattern,
                   search_options opt, offset_t *end);

// A combining character, of no width of its own: it belongs to the
// character before it.
bool combining(std::int32_t cp);
// The characters before offset o on its line, as the cursor steps over
// them (a letter and its combining accents are one): the column that the
// header, the position and go to line count, less one.
long charcolumn(editor &ed, offset_t o);
// The same with a regular expression (the compiled search text): the
// gap is moved out of the way, so that the text searched lies in one
// piece. The groups of the match are noted in ed.search.regex.
offset_t findregex(editor &ed, offset_t from, bool backward, offset_t *end);
// Finds the search text by the options: the first match forward, or the
// last one before from backward; -1 when there is none.
offset_t locate(editor &ed, offset_t from, search_options opt, offset_t *end);
// The replacement for the last match: the replacement text, with \1 to
// \9 standing for the groups of a regular expression's match and \\ for
// a backslash.
std::string expandreplacement(const editor &ed);

// Display width of a character at column col (tabs depend on col).
int charwidth(const editor &ed, std::int32_t cp, int col);
// The same for any character but a tab.
int glyphwidth(std::int32_t cp);
// Columns between tab stops: the run-control file's, else 8.
int tabsize(const editor &ed);
// The first offset in [from, to) whose byte is not plain ASCII (a control
// character, DEL or above), or to: such bytes are one column each.
offset_t plainend(const text_buffer &b, offset_t from, offset_t to);

// ------------------------------------------------------------------ undo

// Edits that record themselves for undo and mark the text modified.
int edit_insert(editor &ed, offset_t at, const char *s, std::size_t n);
void edit_delete(editor &ed, offset_t at, std::size_t n);
// Undoes the last group of changes; 0 when there is nothing to undo.
int undo_last(editor &ed);
// Makes the last undone group again; 0 when there is nothing to redo.
int redo_last(editor &ed);
// Marks the current state as the one on disk (after load and save).
void undo_mark_saved(editor &ed);
void undo_clear(editor &ed);

// --------------------------------------------------------------- display

// The first text row: 1 below the header, 0 without one.
int firstrow(const editor &ed);
int textrows(const editor &ed);
int screenwidth();
// The columns of line numbers at the left (0 when they do not show), and
// the columns left for the text.
int gutter(const editor &ed);
int textcols(const editor &ed);
// Tells the display that the text changed from offset at on, so that what
// it keeps about the text before that offset stays good.
void notechange(editor &ed, offset_t at);
// Rows of the text: a line wraps onto further rows. The start of the row
// after the one that starts at o, or -1 when the text ends on this row;
// the start of the row before the one that starts at s; the start of the
// row that holds offset o.
offset_t nextrow(const editor &ed, offset_t o);
offset_t prevrow(editor &ed, offset_t s);
offset_t rowof(editor &ed, offset_t o);
// Tells the row and column lookups that the text changed from offset from on.
void layoutchanged(editor &ed, offset_t from);
// Column of offset o within its line (wrapped rows included).
int columnof(editor &ed, offset_t o);
// The offset nearest to display column col on the line that starts at ls.
offset_t atcolumn(const editor &ed, offset_t ls, int col);
// The columns a character of a name or message takes: one for those
// shown as '?', tabs among them.
int namewidth(std::int32_t c);
// Adds as much of a name or message as fits in cols columns at the
// cursor (only measures it when not draw); returns the columns it takes.
int addclipped(const char *s, int cols, bool draw = true);
// Draws the message line now (prompts use it before reading a key).
void drawmessage(editor &ed);
// The help panel: the rows it takes (0 when hidden), and drawing it.
int helprows(const editor &ed);
// The pages the panel takes to show every command.
int helppages(const editor &ed);
// The start-up hint: a line of the most used keys, in view.hint.
void starthint(editor &ed);
void drawhelp(const editor &ed, int first, int rows);
// Moves the first row shown by n rows (back when negative).
void scrollrows(editor &ed, int n);
// The start of the row n rows after the one that starts at r (before it
// when negative), or of the last (first) row when there are fewer.
offset_t rowsaway(editor &ed, offset_t r, int n);
// The rows of text that show below the header (the help panel takes some).
int visiblerows(const editor &ed);

// ------------------------------------------------------------------- keys

// getkey returns a byte that is no valid UTF-8 as raw_byte plus the byte.
constexpr int raw_byte = 0x200000;
// Whether more keys wait to be read.
bool keyspending(const key_reader &r);
// Reads one byte from the terminal: waits up to ms milliseconds (forever
// when negative); -1 on timeout, at the end of input and once a hang-up or
// termination signal has come.
int readbyte(editor &ed, int ms);
// The code of a key that came as an escape sequence that no key binds.
constexpr int unbound_key = -99;
// The code of a block that the terminal marked as pasted (ESC [ 2 0 0 ~
// text ESC [ 2 0 1 ~); its text is in reader.pasted.
constexpr int pasted_key = -100;
// Reads the next key through the key map, as getkey does, but without
// drawing the screen or counting it: a bound key's code, a character,
// pasted_key, unbound_key, or k_end once input has ended. Its bytes are
// then in reader.last.
int readkey(editor &ed, keymap_t *map);
// Reads a pasted block, whose start mark has been read, up to its end mark
// (or the end of input) into reader.pasted.
void readpasted(editor &ed);
// Switches the terminal's marking of pasted text on or off.
void bracketpaste(bool on);
// How many of the bytes in seq, which begin with Escape, make one key: a
// key string of the terminal, a control sequence (ESC [ ...), a single
// shift (ESC O ...) or Escape with one character. *n bytes are in seq; more
// are read with more (waiting ms milliseconds, -1 when none come), up to
// room.
int escapelength(unsigned char *seq, int *n, int room, int (*more)(void *ctx, int ms), void *ctx);

// Hang-up and termination (end_signals.cpp): from catchendsignals on
// (0, or -1 when the signals cannot be set up), SIGHUP and SIGTERM only
// note themselves, and only while waitinput waits (poll on the terminal's
// input for ms milliseconds); endsignal tells which came, or 0.
int catchendsignals();
int endsignal();
int waitinput(int ms);
// A stop (SIGTSTP) and a continue (SIGCONT) are noted the same way;
// takesuspend tells, once, which came last.
enum class suspension { none, stop, resumed };
suspension takesuspend();
// Stops the editor as a shell's job, with the terminal as it was before
// the editor, until the shell continues it; then the screen is drawn anew.
void stopjob(editor &ed);
// After a continue: the editor's terminal settings and the whole screen.
void resumejob(editor &ed);
// Key records point into the key texts that initkey puts after the
// records' end in the same block. A bound key's first word is the handle
// of its encoded bytes, followed there by the key text as the rc file
// wrote it; the second word is the number of encoded bytes (0 for records
// that bind no key).
const char *pooltext(const keymap_t *map, std::uint32_t handle);
const char *keybytes(const keymap_t *map, const keymap_t &k);
const char *keytext(const keymap_t *map, const keymap_t &k);
// The first key text bound to a code, or null.
const char *keyfor(const editor &ed, int code);
// A short label for the key that runs code ("^S", "F1", "M-u"), or "-".
void keylabel(const editor &ed, int code, char *out, std::size_t size);

// ----------------------------------------------------------------- prompt

// What Tab in a file name question finds: what all the names that begin
// with the typed one have in common after it, and those names (a folder's
// with a '/' after it), sorted.
struct name_completion {
    std::string added;
    std::vector<std::string> names;
};
// Looks the names up in the folder of the typed path, reached as saving
// reaches it.
name_completion completename(const std::string &typed);

// Whether the byte c ends a question unanswered: Escape, ^G, ^C, ^Q.
bool cancelkey(int c);

// Asks on the message line; returns 1 with the answer in out, 0 when the
// user cancels (Escape, ^C, ^G or ^Q). out holds a pre-filled answer,
// which the first typed character replaces (Enter takes it as it is). The
// answer is edited with the cursor keys, Backspace and Delete, and Up and
// Down go through the earlier answers of its kind; any other command's key
// does nothing there but say so. With opt, Alt-C and Alt-B toggle its
// options and the question shows those that are on.
int prompt(editor &ed, const char *id, char *out, std::size_t size, history_kind kind,
           search_options *opt = nullptr);
// Asks the question id, formatted with the arguments, and returns the
// byte of the key that answers it (0 for a key of more bytes, -1 when
// input has ended).
int askkey(editor &ed, const char *id, ...);
// Asks a yes/no question, formatted with the arguments; 1 for y, 0 for
// any other key.
int confirm(editor &ed, const char *id, ...);
// Asks the question id and waits for one of the bytes in answers, with
// the cursor left in the text; returns it, or 0 when the user cancels.
int choose(editor &ed, const char *id, const char *answers);
// Opens p on the message line and draws it; closes the one that is open
// and empties the message line.
void showprompt(editor &ed, const open_prompt &p);
void closeprompt(editor &ed);
// Draws the prompt or question that is open again (display calls it
// after drawing the screen, a new window size say); nothing when none is.
void drawprompt(editor &ed);

// -------------------------------------------------------------- commands

// What the keys of a command do in the answer of a question.
enum class answer_op {
    none,
    left,
    right,
    home,
    end,
    wordleft,
    wordright,
    backspace,
    erase,
    older,
    newer,
    accept,
    complete, // a file name is completed, other answers take a tab
    clear
};

// A command: its name in the run-control file, its key code, its function,
// its display argument, its text in the help panel and what its keys do in
// a question's answer.
struct command {
    const char *name;
    std::int16_t code;
    command_t func;
    std::int32_t disp;
    const char *help;
    answer_op inanswer;
};
// The commands, sorted by name.
extern const std::span<const command> commands;
const command *findcommand(std::string_view name);
// The command that a key code runs, or null.
const command *commandfor(int code);
// The code of a command by its function.
int commandcode(command_t func);
// The row of the dispatch table for a key: the command's, the row of an
// unbound escape sequence or a paste, or the row that ends the table.
const table_t &tablerow(int key);

// Moves the cursor to character col (from 1; negative from the end) of
// its line; past the end, the end.
void gotocolumn(editor &ed, long long col);
// Stops the terminal from turning a carriage return into a newline, so
// that Enter (^M) and ^J are keys of their own.
void keysapart();

// Saves the text to fn; 0 on success, else the message line says why.
int savefile(editor &ed, const char *fn);
// Remembers what the file on disk is now (null: there is none; called
// before it is read), so that saving can tell when it has changed or been
// replaced since.
void notefile(editor &ed, const struct stat *st);
// Called when the terminal has gone: unsaved text is kept in a new file of
// its own and the editor ends through fatal; without changes it just ends.
void rescue(editor &ed);
// Reads the file fn into the text (the file to edit); 0 or -1.
int load(editor &ed, const char *fn);

// Command functions (bound through the table).
result left(editor &ed);
result right(editor &ed);
result up(editor &ed);
result down(editor &ed);
result top(editor &ed);
result bottom(editor &ed);
result wordleft(editor &ed);
result wordright(editor &ed);
result pageup(editor &ed);
result pagedown(editor &ed);
result linebegin(editor &ed);
result lineend_cmd(editor &ed);
result insert(editor &ed);
result backspace(editor &ed);
result delete_char(editor &ed);
result newline(editor &ed);
result tab(editor &ed);
result gotoline(editor &ed);
result find(editor &ed);
result findnext(editor &ed);
result findprevious(editor &ed);
result replace(editor &ed);
result cut(editor &ed);
result cutend(editor &ed);
result copy(editor &ed);
result paste(editor &ed);
result setmark(editor &ed);
result undo(editor &ed);
result redo(editor &ed);
result save(editor &ed);
result saveas(editor &ed);
result quit(editor &ed);
result help(editor &ed);
result redraw(editor &ed);
result literal(editor &ed);
result unbound(editor &ed);
result insertpasted(editor &ed);
result insertfile(editor &ed);
result suspend(editor &ed);
result findbackward(editor &ed);
result cuttoend(editor &ed);
result position(editor &ed);
result comment(editor &ed);
result wordcount(editor &ed);
result linenumbers(editor &ed);
result whitespace(editor &ed);

} // namespace kwed

#endif
