// Questions on the message line: a line of text (find, replace, go to
// line, save as), a yes/no answer or a choice of keys. Enter accepts,
// Escape, ^G, ^C or ^Q cancels, Backspace takes back a character. An
// answer too long for the line scrolls, so that its end and the cursor
// stay in sight.
#include "editor_core.h"

#include <curses.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace kwed {

namespace {

// How long Escape waits for the letter of an Alt key, in milliseconds.
constexpr int alt_wait = 100;
// Columns kept for the answer when the question is long.
constexpr int answer_room = 8;

bool cancelkey(int c) {
    return c == 27 || c == 7 || c == 3 || c == 17;
}

// Drops the rest of an escape sequence, so that a function key cancels
// without leaving its bytes behind.
void drain(editor &ed) {
    while (readbyte(ed, 50) >= 0) {
    }
}

int width(const char *s) {
    return addclipped(s, INT_MAX, false);
}

// The question with the options that are on: "Find [backward]: ".
std::string withoptions(std::string_view q, const search_options *opt) {
    std::string tag;
    if (opt && opt->nocase)
        tag = getmsg(m_nocase);
    if (opt && opt->backward)
        tag += (tag.empty() ? "" : ", ") + std::string(getmsg(m_backward));
    if (tag.empty())
        return std::string(q);
    bool colon = q.ends_with(": ");
    return std::string(q.substr(0, q.size() - (colon ? 2 : 0))) + " [" + tag + "]" +
           (colon ? ": " : " ");
}

void show(editor &ed, const open_prompt &p) {
    ed.prompt = p;
    drawprompt(ed);
    wrefresh(stdscr);
}

void finish(editor &ed) {
    ed.prompt = {};
    ed.msgline[0] = '\0';
    drawmessage(ed);
}

void toggle(search_options *opt, int c) {
    if (c == 'c' || c == 'C')
        opt->nocase = !opt->nocase;
    else
        opt->backward = !opt->backward;
}

// After Escape and '[': whether a pasted block follows, which is then read
// whole into reader.pasted; otherwise the rest of the sequence is dropped.
bool pastefollows(editor &ed) {
    for (char mark : std::string_view("200~")) {
        int c = readbyte(ed, alt_wait);
        if (c != static_cast<unsigned char>(mark)) {
            if (c >= 0)
                drain(ed);
            return false;
        }
    }
    readpasted(ed);
    return true;
}

// What came after an Escape: an Alt letter that toggled a search option
// (only where opt is given), a pasted block, or anything else, whose bytes
// are dropped.
enum class escaped { toggled, pasted, other };

escaped afterescape(editor &ed, search_options *opt) {
    int next = readbyte(ed, alt_wait);
    if (opt && (next == 'c' || next == 'C' || next == 'b' || next == 'B')) {
        toggle(opt, next);
        return escaped::toggled;
    }
    if (next == '[' && pastefollows(ed))
        return escaped::pasted;
    if (next >= 0 && next != '[')
        drain(ed);
    return escaped::other;
}

} // namespace

void drawprompt(editor &ed) {
    const open_prompt &shown = ed.prompt;
    if (shown.question == nullptr)
        return;
    int y, x;
    getyx(stdscr, y, x);
    int cols = screenwidth() - 1;
    wmove(stdscr, LINES - 1, 0);
    wclrtoeol(stdscr);
    std::string q = withoptions(shown.question, shown.opt);
    int qw =
        addclipped(q.c_str(), shown.answer && cols > 2 * answer_room ? cols - answer_room : cols);
    if (shown.answer) {
        // The end of the answer, and the cursor after it, must show.
        const char *a = shown.answer;
        int room = cols - qw;
        if (width(a) > room && room > 1) {
            waddch(stdscr, '<');
            --room;
            while (*a && width(a) > room) {
                int len;
                decodeutf8(reinterpret_cast<const unsigned char *>(a), std::strlen(a), &len);
                a += len;
            }
        }
        addclipped(a, room);
    }
    if (shown.textcursor)
        wmove(stdscr, y, x);
}

int prompt(editor &ed, const char *id, char *out, std::size_t size, search_options *opt) {
    std::size_t len = std::strlen(out);
    for (;;) {
        show(ed, {getmsg(id), out, opt, false});
        int c = readbyte(ed, -1);
        escaped e = c == 27 ? afterescape(ed, opt) : escaped::other;
        if (e == escaped::toggled)
            continue;
        if (e == escaped::pasted) {
            // Its first line goes into the answer, as if typed.
            for (char b : ed.reader.pasted) {
                if (b == '\n' || len + 1 >= size)
                    break;
                if (static_cast<unsigned char>(b) >= 32 || b == '\t')
                    out[len++] = b;
            }
            out[len] = '\0';
            ed.reader.pasted.clear();
            continue;
        }
        if (c < 0 || cancelkey(c)) {
            finish(ed);
            return 0;
        }
        if (c == '\n' || c == '\r') {
            finish(ed);
            return 1;
        }
        if (c == 127 || c == 8) {
            // Back over one character.
            len = utf8back(reinterpret_cast<unsigned char *>(out), len);
            out[len] = '\0';
        } else if (c == 21) {
            len = 0; // ^U empties the answer
            out[0] = '\0';
        } else if ((c >= 32 || c == '\t') && len + 1 < size) {
            out[len++] = static_cast<char>(c);
            out[len] = '\0';
        }
    }
}

int confirm(editor &ed, const char *id, ...) {
    char question[msgline_size];
    va_list ap;
    va_start(ap, id);
    vformatmsg(question, sizeof question, id, ap);
    va_end(ap);
    show(ed, {question, nullptr, nullptr, false});
    // Only a lower-case y says yes; any other key says no. A paste answers
    // nothing.
    for (;;) {
        int c = readbyte(ed, -1);
        if (c == 27 && afterescape(ed, nullptr) == escaped::pasted) {
            ed.reader.pasted.clear();
            continue;
        }
        finish(ed);
        return c == 'y';
    }
}

int choose(editor &ed, const char *id, const char *answers) {
    show(ed, {getmsg(id), nullptr, nullptr, true});
    for (;;) {
        int c = readbyte(ed, -1);
        if (c == 27 && afterescape(ed, nullptr) == escaped::pasted) {
            ed.reader.pasted.clear();
            continue;
        }
        if (c < 0 || cancelkey(c)) {
            finish(ed);
            return 0;
        }
        if (c > 0 && std::strchr(answers, c)) {
            finish(ed);
            return c;
        }
    }
}

} // namespace kwed
