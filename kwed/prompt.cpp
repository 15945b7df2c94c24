// Questions on the message line: how they are drawn, and those answered
// with one key (yes/no, a choice of keys). Escape, ^G, ^C or ^Q cancels a
// choice. An answer too long for the line scrolls, so that the cursor
// stays in sight.
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

// How long Escape waits for the rest of a key, in milliseconds.
constexpr int escape_wait = 100;
// Columns kept for the answer when the question is long.
constexpr int answer_room = 8;

// Drops the rest of an escape sequence, so that a function key answers
// nothing without leaving its bytes behind.
void drain(editor &ed) {
    while (readbyte(ed, 50) >= 0) {
    }
}

// The columns that the first n bytes of s take.
int prefixwidth(const char *s, std::size_t n) {
    return addclipped(std::string(s, n).c_str(), INT_MAX, false);
}

// The question with the options that are on: "Find [backward]: ".
std::string withoptions(std::string_view q, const search_options *opt) {
    std::string tag;
    if (opt && opt->nocase)
        tag = getmsg(m_nocase);
    if (opt && opt->backward)
        tag += (tag.empty() ? "" : ", ") + std::string(getmsg(m_backward));
    if (opt && opt->regex)
        tag += (tag.empty() ? "" : ", ") + std::string(getmsg(m_regex));
    if (tag.empty())
        return std::string(q);
    bool colon = q.ends_with(": ");
    return std::string(q.substr(0, q.size() - (colon ? 2 : 0))) + " [" + tag + "]" +
           (colon ? ": " : " ");
}

// What came after an Escape: nothing (Escape alone), a pasted block, which
// is then read whole into reader.pasted, or another key, whose bytes are
// dropped.
enum class escaped { alone, pasted, other };

escaped afterescape(editor &ed) {
    // Escape and a key, however long after it, are one key (Alt with it).
    int next = readbyte(ed, escape_wait);
    if (next < 0)
        next = readbyte(ed, -1);
    if (next < 0)
        return escaped::alone;
    if (next == '[') {
        for (char mark : std::string_view("200~")) {
            int c = readbyte(ed, escape_wait);
            if (c != static_cast<unsigned char>(mark)) {
                if (c >= 0)
                    drain(ed);
                return escaped::other;
            }
        }
        readpasted(ed);
        return escaped::pasted;
    }
    drain(ed);
    return escaped::other;
}

// Shows the question and returns the byte of the key that answers it: 0
// for a key of more bytes, -1 when input has ended. A paste answers
// nothing.
int answerkey(editor &ed, const char *question) {
    showprompt(ed, {question, nullptr, 0, false, nullptr, false, nullptr});
    for (;;) {
        int c = readbyte(ed, -1);
        escaped e = c == 27 ? afterescape(ed) : escaped::alone;
        if (e == escaped::pasted) {
            ed.reader.pasted.clear();
            continue;
        }
        closeprompt(ed);
        return e == escaped::other ? 0 : c;
    }
}

// Draws the answer after the question, which took qw of cols columns, and
// puts the cursor where it is in the answer.
void drawanswer(const open_prompt &shown, int qw, int cols) {
    const char *a = shown.answer;
    std::size_t cursor = shown.cursor;
    int room = cols - qw;
    // What comes before the cursor must fit, the cursor after it in the
    // last column at the most; a '<' stands for what is left out at the
    // start.
    std::size_t start = 0;
    int lead = 0;
    int before = prefixwidth(a, cursor); // the columns from start to the cursor
    if (before > room && room > 1) {
        waddch(stdscr, '<');
        lead = 1;
        while (start < cursor && before > room - 1) {
            int len;
            before -= namewidth(decodeutf8(reinterpret_cast<const unsigned char *>(a + start),
                                           cursor - start, &len));
            start += static_cast<std::size_t>(len);
        }
    }
    if (shown.prefilled)
        wattron(stdscr, A_UNDERLINE);
    addclipped(a + start, room - lead);
    wattroff(stdscr, A_UNDERLINE);
    int at = qw + lead + before;
    wmove(stdscr, LINES - 1, at < cols ? at : cols);
}

// Draws a question answered by a key in cols columns; returns the columns
// it took. One too wide for them keeps its closing choice, "(y/n)", in
// sight: what comes before that is cut, and "..." says so.
int drawquestion(const std::string &q, int cols) {
    std::size_t choice = q.rfind('(');
    if (choice == std::string::npos || choice == 0 || prefixwidth(q.c_str(), q.size()) <= cols)
        return addclipped(q.c_str(), cols);
    const char *tail = q.c_str() + choice;
    int room = cols - addclipped(tail, INT_MAX, false) - 4;
    if (room < 8)
        return addclipped(q.c_str(), cols);
    int w = addclipped(q.substr(0, choice).c_str(), room);
    waddstr(stdscr, "... ");
    return w + 4 + addclipped(tail, cols - w - 4);
}

} // namespace

bool cancelkey(int c) {
    return c == 27 || c == 7 || c == 3 || c == 17;
}

void showprompt(editor &ed, const open_prompt &p) {
    ed.prompt = p;
    drawprompt(ed);
    wrefresh(stdscr);
}

void closeprompt(editor &ed) {
    ed.prompt = {};
    ed.msgline[0] = '\0';
    drawmessage(ed);
}

void drawprompt(editor &ed) {
    const open_prompt &shown = ed.prompt;
    if (shown.question == nullptr)
        return;
    int y, x;
    getyx(stdscr, y, x);
    int cols = screenwidth() - 1;
    if (shown.note && LINES > 2) {
        // Above the question, so that the answer stays in sight.
        wmove(stdscr, LINES - 2, 0);
        wattron(stdscr, A_REVERSE);
        addclipped(shown.note, cols);
        wattroff(stdscr, A_REVERSE);
        wclrtoeol(stdscr);
    }
    wmove(stdscr, LINES - 1, 0);
    wclrtoeol(stdscr);
    std::string q = withoptions(shown.question, shown.opt);
    int qw = !shown.answer            ? drawquestion(q, cols)
             : cols > 2 * answer_room ? addclipped(q.c_str(), cols - answer_room)
                                      : addclipped(q.c_str(), cols);
    if (shown.answer)
        drawanswer(shown, qw, cols);
    if (shown.textcursor)
        wmove(stdscr, y, x);
}

namespace {

// The question of message id, its conversions filled from ap, and the key
// that answers it.
int askformatted(editor &ed, const char *id, va_list ap) {
    char question[msgline_size];
    vformatmsg(question, sizeof question, id, ap);
    return answerkey(ed, question);
}

} // namespace

int askkey(editor &ed, const char *id, ...) {
    va_list ap;
    va_start(ap, id);
    int key = askformatted(ed, id, ap);
    va_end(ap);
    return key;
}

int confirm(editor &ed, const char *id, ...) {
    va_list ap;
    va_start(ap, id);
    int key = askformatted(ed, id, ap);
    va_end(ap);
    // y says yes, in either case; any other key says no.
    return key == 'y' || key == 'Y';
}

int choose(editor &ed, const char *id, const char *answers) {
    showprompt(ed, {getmsg(id), nullptr, 0, false, nullptr, true, nullptr});
    for (;;) {
        int c = readbyte(ed, -1);
        if (c == 27 && afterescape(ed) == escaped::pasted) {
            ed.reader.pasted.clear();
            continue;
        }
        if (c < 0 || cancelkey(c)) {
            closeprompt(ed);
            return 0;
        }
        if (c >= 'A' && c <= 'Z')
            c += 'a' - 'A'; // answers are the same in either case
        if (c > 0 && std::strchr(answers, c)) {
            closeprompt(ed);
            return c;
        }
    }
}

} // namespace kwed
