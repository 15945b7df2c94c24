// The commands: their names for the run-control file, their key codes and
// the dispatch table that the key loop searches.
#include "editor_core.h"

#include <algorithm>
#include <cstring>

namespace kwed {

namespace {

// Key codes of the commands. Characters are never negative, and codes from
// -101 down are the key map's special records, so commands use -3 to -99;
// the literal command is bound as -102, which start-up turns into -2.
enum : std::int16_t {
    c_backspace = -3,
    c_bottom = -4,
    c_copy = -5,
    c_cut = -6,
    c_delete = -7,
    c_down = -8,
    c_find = -9,
    c_findnext = -10,
    c_gotoline = -11,
    c_help = -12,
    c_left = -13,
    c_linebegin = -14,
    c_lineend = -15,
    c_newline = -16,
    c_pagedown = -17,
    c_pageup = -18,
    c_paste = -19,
    c_quit = -20,
    c_redraw = -21,
    c_right = -22,
    c_save = -23,
    c_saveas = -24,
    c_tab = -25,
    c_top = -26,
    c_undo = -27,
    c_up = -28,
    c_wordleft = -29,
    c_wordright = -30,
};
static_assert(unbound_key == c_wordright - 1, "unbound_key follows the command codes");

// Display arguments: 1 repaints the whole screen.
constexpr std::int32_t d_changes = 0;
constexpr std::int32_t d_repaint = 1;

} // namespace

// Sorted by name: findcommand searches it by halves.
const command_name command_names[] = {
    {"backspace", c_backspace},
    {"bottom", c_bottom},
    {"copy", c_copy},
    {"cut", c_cut},
    {"delete", c_delete},
    {"down", c_down},
    {"find", c_find},
    {"findnext", c_findnext},
    {"gotoline", c_gotoline},
    {"help", c_help},
    {"left", c_left},
    {"linebegin", c_linebegin},
    {"lineend", c_lineend},
    {"literal", k_mode0},
    {"newline", c_newline},
    {"pagedown", c_pagedown},
    {"pageup", c_pageup},
    {"paste", c_paste},
    {"quit", c_quit},
    {"redraw", c_redraw},
    {"right", c_right},
    {"save", c_save},
    {"saveas", c_saveas},
    {"tab", c_tab},
    {"top", c_top},
    {"undo", c_undo},
    {"up", c_up},
    {"wordleft", c_wordleft},
    {"wordright", c_wordright},
};
const std::size_t command_count = sizeof command_names / sizeof command_names[0];

const command_name *findcommand(std::string_view name) {
    const command_name *end = command_names + command_count;
    const command_name *it =
        std::lower_bound(command_names, end, name, [](const command_name &c, std::string_view n) {
            return std::string_view(c.name) < n;
        });
    return it != end && name == it->name ? it : nullptr;
}

table_t table[] = {
    {c_left, left, d_changes},
    {c_right, right, d_changes},
    {c_up, up, d_changes},
    {c_down, down, d_changes},
    {c_wordleft, wordleft, d_changes},
    {c_wordright, wordright, d_changes},
    {c_pageup, pageup, d_changes},
    {c_pagedown, pagedown, d_changes},
    {c_linebegin, linebegin, d_changes},
    {c_lineend, lineend_cmd, d_changes},
    {c_top, top, d_changes},
    {c_bottom, bottom, d_changes},
    {c_backspace, backspace, d_changes},
    {c_delete, delete_char, d_changes},
    {c_newline, newline, d_changes},
    {c_tab, tab, d_changes},
    {c_gotoline, gotoline, d_changes},
    {c_find, find, d_changes},
    {c_findnext, findnext, d_changes},
    {c_cut, cut, d_changes},
    {c_copy, copy, d_changes},
    {c_paste, paste, d_changes},
    {c_undo, undo, d_changes},
    {c_save, save, d_changes},
    {c_saveas, saveas, d_changes},
    {c_quit, quit, d_changes},
    {c_help, help, d_changes},
    {c_redraw, redraw, d_repaint},
    {k_literal, literal, d_changes},
    {unbound_key, unbound, d_changes}, // an escape sequence that no key binds
    {0, nullptr, d_changes},           // every other key: inserted when modeless
};

} // namespace kwed
