// The help panel: every command with the key that runs it, in columns,
// over the lower text rows until the next key.
#include "editor_core.h"

#include <curses.h>

#include <cstdio>
#include <cstring>

namespace kwed {

namespace {

// The help panel lists every command with its first key, in columns.
// A cell holds a key label, a blank, the name and a blank: four cells fit
// on a line of 80 columns.
constexpr int help_cell = 20;

// How a key text reads best in the help panel: the rank of a text (lower
// is better) and its label.
int keyrank(const char *text) {
    if (text[0] == '^' || (text[0] == '$' && text[1] == '('))
        return 0;
    if (text[0] == '\\' && text[1] == 'e' && text[2] && !text[3])
        return 1;
    return 2;
}

} // namespace

void keylabel(const editor &ed, int code, char *out, std::size_t size) {
    static constexpr struct {
        const char *text;
        const char *label;
    } names[] = {{"$(kcuu1)", "Up"},    {"$(kcud1)", "Down"}, {"$(kcub1)", "Left"},
                 {"$(kcuf1)", "Right"}, {"$(khome)", "Home"}, {"$(kend)", "End"},
                 {"$(kpp)", "PgUp"},    {"$(knp)", "PgDn"},   {"$(kdch1)", "Del"},
                 {"$(kich1)", "Ins"},   {"$(kbs)", "Bksp"},   {"^?", "Bksp"},
                 {"^J", "Enter"},       {"^M", "Enter"},      {"^I", "Tab"}};
    const char *best = nullptr;
    for (const keymap_t *k = ed.keys; k && k->code != k_end; ++k)
        if (k->code == code && k->rhs && (!best || keyrank(keytext(ed.keys, *k)) < keyrank(best)))
            best = keytext(ed.keys, *k);
    if (best == nullptr) {
        std::snprintf(out, size, "-");
        return;
    }
    for (const auto &n : names) {
        if (std::strcmp(best, n.text) == 0) {
            std::snprintf(out, size, "%s", n.label);
            return;
        }
    }
    if (best[0] == '$' && std::strncmp(best, "$(kf", 4) == 0)
        std::snprintf(out, size, "F%.*s", static_cast<int>(std::strcspn(best + 4, ")")), best + 4);
    else if (keyrank(best) == 1)
        std::snprintf(out, size, "M-%c", best[2]);
    else
        std::snprintf(out, size, "%s", best);
}

namespace {

int cellsperrow() {
    int percol = screenwidth() / help_cell;
    return percol < 1 ? 1 : percol;
}

// The rows the panel may take: all text rows but the cursor's.
int panelroom(const editor &ed) {
    int room = textrows(ed) - 1;
    return room < 2 ? 2 : room;
}

// The rows the shown panel takes: its title and every command, or as many
// as the window has room for.
int panelrows(const editor &ed) {
    int rows = 1 + static_cast<int>((commands.size() + cellsperrow() - 1) / cellsperrow());
    int room = panelroom(ed);
    return rows < room ? rows : room;
}

// The commands on one page of the panel, below its title row.
int cellsperpage(const editor &ed) {
    return (panelrows(ed) - 1) * cellsperrow();
}

} // namespace

int helppages(const editor &ed) {
    int per = cellsperpage(ed);
    return static_cast<int>((commands.size() + per - 1) / per);
}

int helprows(const editor &ed) {
    return ed.view.helpkey == ed.reader.keycount ? panelrows(ed) : 0;
}

void drawhelp(const editor &ed, int first, int rows) {
    int percol = cellsperrow();
    int pages = helppages(ed);
    int page = ed.view.helppage < pages ? ed.view.helppage : pages - 1;
    wmove(stdscr, first, 0);
    wattron(stdscr, A_BOLD);
    char title[msgline_size];
    char key[16];
    keylabel(ed, commandcode(static_cast<command_t>(help)), key, sizeof key);
    if (pages > 1)
        std::snprintf(title, sizeof title, getmsg(m_helpmore), page + 1, pages, key);
    else
        std::snprintf(title, sizeof title, "%s", getmsg(m_helptitle));
    addclipped(title, screenwidth() - 1);
    wattroff(stdscr, A_BOLD);
    wclrtoeol(stdscr);
    std::size_t firstcell = static_cast<std::size_t>(page * cellsperpage(ed));
    for (int r = 1; r < rows; ++r) {
        wmove(stdscr, first + r, 0);
        wclrtoeol(stdscr);
        for (int c = 0; c < percol; ++c) {
            std::size_t i = firstcell + static_cast<std::size_t>((r - 1) * percol + c);
            if (i >= commands.size())
                break;
            keylabel(ed, commands[i].code, key, sizeof key);
            char cell[help_cell + 1];
            std::snprintf(cell, sizeof cell, "%-6.6s %-12.12s ", key, commands[i].help);
            mvwaddnstr(stdscr, first + r, c * help_cell, cell, screenwidth() - c * help_cell);
        }
    }
}

void starthint(editor &ed) {
    char keys[4][16];
    const command_t named[] = {help, save, quit, find};
    for (int i = 0; i < 4; ++i)
        keylabel(ed, commandcode(named[i]), keys[i], sizeof keys[i]);
    std::snprintf(ed.view.hint, sizeof ed.view.hint, getmsg(m_hint), keys[0], keys[1], keys[2],
                  keys[3]);
}

result help(editor &ed) {
    // At start-up, a line of the most used keys under the first screen;
    // from the help key on, the panel of all keys, until the next key,
    // which does nothing else (the help key shows its next page, if any).
    if (ed.reader.keycount == 0 && !ed.reader.shown) {
        starthint(ed);
        return result::ok;
    }
    ed.view.helpkey = ed.reader.keycount;
    ed.view.helppage = 0;
    return result::ok;
}

} // namespace kwed
