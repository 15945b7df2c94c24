// The commands: one table gives each its name for the run-control file,
// its function, its display argument, its text in the help panel and what
// its keys do in the answer of a question. Everything else is derived from
// it: the key codes (by position), the lookup by name for the key map
// loader, the lookup by code, and the dispatch table that the key loop
// picks its rows from.
#include "editor_core.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kwed {

namespace {

// Display arguments: 1 repaints the whole screen.
constexpr std::int32_t d_changes = 0;
constexpr std::int32_t d_repaint = 1;

// Key codes are given by position: the first command is -3, the next -4
// and so on. Characters are never negative and codes from -101 down are
// the key map's special records, so commands use -3 down to unbound_key
// (pasted_key, -100, is the last code the core gives).
// The literal command has the code that start-up gives a -102 record.
constexpr std::int16_t first_code = -3;
constexpr std::int16_t numbered = 0;

template <std::size_t N> constexpr std::array<command, N> numbering(std::array<command, N> rows) {
    for (std::size_t i = 0; i < N; ++i)
        if (rows[i].code == numbered)
            rows[i].code = static_cast<std::int16_t>(first_code - static_cast<int>(i));
    return rows;
}

using op = answer_op;

// Sorted by name: findcommand searches it by halves, and the help panel
// lists the commands in this order. Help texts take at most 12 columns.
constexpr auto command_rows = numbering(std::to_array<command>({
    {"backspace", numbered, backspace, d_changes, "delete back", op::backspace},
    {"bottom", numbered, bottom, d_changes, "last line", op::none},
    {"comment", numbered, comment, d_changes, "comment", op::none},
    {"copy", numbered, copy, d_changes, "copy", op::none},
    {"cut", numbered, cut, d_changes, "cut", op::clear},
    {"cutend", numbered, cutend, d_changes, "cut line end", op::none},
    {"cuttoend", numbered, cuttoend, d_changes, "cut to end", op::none},
    {"delete", numbered, delete_char, d_changes, "delete", op::erase},
    {"down", numbered, down, d_changes, "down", op::newer},
    {"find", numbered, find, d_changes, "find", op::none},
    {"findbackward", numbered, findbackward, d_changes, "find back", op::none},
    {"findnext", numbered, findnext, d_changes, "find next", op::none},
    {"findprevious", numbered, findprevious, d_changes, "find prev", op::none},
    {"gotoline", numbered, gotoline, d_changes, "go to line", op::none},
    {"help", numbered, help, d_changes, "help", op::none},
    {"insertfile", numbered, insertfile, d_changes, "insert file", op::none},
    {"left", numbered, left, d_changes, "left", op::left},
    {"linebegin", numbered, linebegin, d_changes, "line start", op::home},
    {"lineend", numbered, lineend_cmd, d_changes, "line end", op::end},
    {"linenumbers", numbered, linenumbers, d_repaint, "line numbers", op::none},
    {"literal", k_literal, literal, d_changes, "verbatim", op::none},
    {"mark", numbered, setmark, d_changes, "mark", op::none},
    {"newline", numbered, newline, d_changes, "enter", op::accept},
    {"pagedown", numbered, pagedown, d_changes, "page down", op::none},
    {"pageup", numbered, pageup, d_changes, "page up", op::none},
    {"paste", numbered, paste, d_changes, "paste", op::none},
    {"position", numbered, position, d_changes, "position", op::none},
    {"quit", numbered, quit, d_changes, "quit", op::none},
    {"redo", numbered, redo, d_changes, "redo", op::none},
    {"redraw", numbered, redraw, d_repaint, "redraw", op::none},
    {"replace", numbered, replace, d_changes, "replace", op::none},
    {"right", numbered, right, d_changes, "right", op::right},
    {"save", numbered, save, d_changes, "save", op::none},
    {"saveas", numbered, saveas, d_changes, "write out", op::none},
    {"suspend", numbered, suspend, d_repaint, "suspend", op::none},
    {"tab", numbered, tab, d_changes, "tab", op::complete},
    {"top", numbered, top, d_changes, "first line", op::none},
    {"undo", numbered, undo, d_changes, "undo", op::none},
    {"up", numbered, up, d_changes, "up", op::older},
    {"whitespace", numbered, whitespace, d_repaint, "whitespace", op::none},
    {"wordcount", numbered, wordcount, d_changes, "word count", op::none},
    {"wordleft", numbered, wordleft, d_changes, "word left", op::wordleft},
    {"wordright", numbered, wordright, d_changes, "word right", op::wordright},
}));

constexpr std::size_t ncommands = command_rows.size();

constexpr bool sorted_by_name() {
    for (std::size_t i = 1; i < ncommands; ++i)
        if (std::string_view(command_rows[i - 1].name) >= command_rows[i].name)
            return false;
    return true;
}
static_assert(sorted_by_name(), "findcommand needs the commands sorted by name");
static_assert(first_code - static_cast<int>(ncommands) > unbound_key,
              "the command codes run into unbound_key");

constexpr bool short_help() {
    for (const command &c : command_rows)
        if (std::string_view(c.help).size() > 12)
            return false;
    return true;
}
static_assert(short_help(), "a help text is wider than the panel's cell");

constexpr std::size_t literal_row() {
    std::size_t i = 0;
    while (i < ncommands && command_rows[i].code != k_literal)
        ++i;
    return i;
}
static_assert(literal_row() < ncommands, "the literal command has a row");

// One row per command in the same order, then an escape sequence that no
// key binds, then a pasted block, then the row that ends the table: every
// other key is inserted when modeless.
constexpr std::size_t table_rows = ncommands + 3;

constexpr std::array<table_t, table_rows> dispatchrows() {
    std::array<table_t, table_rows> rows{};
    std::size_t i = 0;
    for (const command &c : command_rows)
        rows[i++] = {c.code, c.func, c.disp};
    rows[i++] = {unbound_key, unbound, d_changes};
    rows[i++] = {pasted_key, insertpasted, d_changes};
    rows[i] = {0, nullptr, d_changes};
    return rows;
}

constexpr std::array<table_t, table_rows> dispatch = dispatchrows();

} // namespace

const std::span<const command> commands(command_rows);
const table_t *const table = dispatch.data();

// The row of a code follows from its position; only literal's is elsewhere.
const command *commandfor(int code) {
    if (code == k_literal)
        return &command_rows[literal_row()];
    int i = first_code - code;
    if (i < 0 || i >= static_cast<int>(ncommands) || command_rows[i].code != code)
        return nullptr;
    return &command_rows[static_cast<std::size_t>(i)];
}

const table_t &tablerow(int key) {
    if (const command *c = commandfor(key))
        return dispatch[static_cast<std::size_t>(c - command_rows.data())];
    if (key == unbound_key)
        return dispatch[ncommands];
    if (key == pasted_key)
        return dispatch[ncommands + 1];
    return dispatch[ncommands + 2];
}

int commandcode(command_t func) {
    for (const command &c : commands)
        if (c.func == func)
            return c.code;
    return 0;
}

const command *findcommand(std::string_view name) {
    auto it = std::lower_bound(
        commands.begin(), commands.end(), name,
        [](const command &c, std::string_view n) { return std::string_view(c.name) < n; });
    return it != commands.end() && name == it->name ? &*it : nullptr;
}

} // namespace kwed
