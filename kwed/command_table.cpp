// The commands: one table gives each its name for the run-control file,
// its key code, its function and its display argument. The key map loader
// looks names up in it; the dispatch table that the key loop searches is
// built from it.
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

// Sorted by name: findcommand searches it by halves, and the help panel
// lists the commands in this order.
constexpr auto command_rows = numbering(std::to_array<command>({
    {"backspace", numbered, backspace, d_changes},
    {"bottom", numbered, bottom, d_changes},
    {"copy", numbered, copy, d_changes},
    {"cut", numbered, cut, d_changes},
    {"cutend", numbered, cutend, d_changes},
    {"delete", numbered, delete_char, d_changes},
    {"down", numbered, down, d_changes},
    {"find", numbered, find, d_changes},
    {"findnext", numbered, findnext, d_changes},
    {"findprevious", numbered, findprevious, d_changes},
    {"gotoline", numbered, gotoline, d_changes},
    {"help", numbered, help, d_changes},
    {"insertfile", numbered, insertfile, d_changes},
    {"left", numbered, left, d_changes},
    {"linebegin", numbered, linebegin, d_changes},
    {"lineend", numbered, lineend_cmd, d_changes},
    {"literal", k_literal, literal, d_changes},
    {"mark", numbered, setmark, d_changes},
    {"newline", numbered, newline, d_changes},
    {"pagedown", numbered, pagedown, d_changes},
    {"pageup", numbered, pageup, d_changes},
    {"paste", numbered, paste, d_changes},
    {"quit", numbered, quit, d_changes},
    {"redo", numbered, redo, d_changes},
    {"redraw", numbered, redraw, d_repaint},
    {"replace", numbered, replace, d_changes},
    {"right", numbered, right, d_changes},
    {"save", numbered, save, d_changes},
    {"saveas", numbered, saveas, d_changes},
    {"suspend", numbered, suspend, d_repaint},
    {"tab", numbered, tab, d_changes},
    {"top", numbered, top, d_changes},
    {"undo", numbered, undo, d_changes},
    {"up", numbered, up, d_changes},
    {"wordleft", numbered, wordleft, d_changes},
    {"wordright", numbered, wordright, d_changes},
}));

constexpr bool sorted_by_name() {
    for (std::size_t i = 1; i < command_rows.size(); ++i)
        if (std::string_view(command_rows[i - 1].name) >= command_rows[i].name)
            return false;
    return true;
}
static_assert(sorted_by_name(), "findcommand needs the commands sorted by name");
static_assert(first_code - static_cast<int>(command_rows.size()) > unbound_key,
              "the command codes run into unbound_key");

} // namespace

const std::span<const command> commands(command_rows);

const command *commandfor(int code) {
    for (const command &c : commands)
        if (c.code == code)
            return &c;
    return nullptr;
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

namespace {

// One row per command, then an escape sequence that no key binds, then a
// pasted block, then the row that ends the table: every other key is
// inserted when modeless.
constexpr std::size_t table_rows = command_rows.size() + 3;

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

const table_t *const table = dispatch.data();

} // namespace kwed
