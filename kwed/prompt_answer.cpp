// The answer to a prompt as a small editor of one line: the keys bound to
// moving and deleting edit it, Up and Down go through the answers given
// before to prompts of its kind, and no key typed here reaches the text.
#include "editor_core.h"

#include <curses.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

namespace kwed {

namespace {

// Earlier answers kept for each kind of prompt.
constexpr std::size_t history_size = 50;

// What a key does to the answer: the command table says it for the keys
// of commands.
using edit_op = answer_op;

// The answer being edited, and where it stands in the history.
struct answer_edit {
    std::string text;
    std::size_t cursor;
    bool prefilled;
    std::size_t room; // the most bytes it may hold
    std::vector<std::string> &history;
    std::size_t at;      // the history entry shown; history.size() for the new answer
    std::string draft;   // the new answer, while older ones show
    bool filename;       // Tab completes the answer as a file name
    bool tabbed = false; // the key before was a Tab that completed nothing
    std::string note;    // what the last key has to tell above the question
};

const unsigned char *bytes(const std::string &s) {
    return reinterpret_cast<const unsigned char *>(s.data());
}

std::size_t nextin(const std::string &s, std::size_t i) {
    if (i >= s.size())
        return i;
    int len;
    decodeutf8(bytes(s) + i, s.size() - i, &len);
    return i + static_cast<std::size_t>(len);
}

std::size_t previn(const std::string &s, std::size_t i) {
    return utf8back(bytes(s), i);
}

bool wordbyte(unsigned char b) {
    return b == '_' || b >= 0x80 || std::iswalnum(b);
}

void put(answer_edit &a, std::string_view s) {
    if (a.prefilled) {
        a.text.clear();
        a.cursor = 0;
        a.prefilled = false;
    }
    std::size_t fits = a.room > a.text.size() ? a.room - a.text.size() : 0;
    if (s.size() > fits)
        s = s.substr(0, utf8whole(reinterpret_cast<const unsigned char *>(s.data()), fits));
    a.text.insert(a.cursor, s);
    a.cursor += s.size();
}

void settext(answer_edit &a, const std::string &text) {
    a.text = text;
    a.cursor = text.size();
    a.prefilled = false;
}

// Up: the answer given before the one shown; Down: the one after it.
void walkhistory(answer_edit &a, bool older) {
    if (older && a.at > 0) {
        if (a.at == a.history.size())
            a.draft = a.text;
        settext(a, a.history[--a.at]);
    } else if (!older && a.at < a.history.size()) {
        ++a.at;
        settext(a, a.at == a.history.size() ? a.draft : a.history[a.at]);
    }
}

void wordmove(answer_edit &a, bool forward) {
    const std::string &t = a.text;
    std::size_t &c = a.cursor;
    if (forward) {
        while (c < t.size() && wordbyte(static_cast<unsigned char>(t[c])))
            c = nextin(t, c);
        while (c < t.size() && !wordbyte(static_cast<unsigned char>(t[c])))
            c = nextin(t, c);
        return;
    }
    while (c > 0 && !wordbyte(static_cast<unsigned char>(t[previn(t, c)])))
        c = previn(t, c);
    while (c > 0 && wordbyte(static_cast<unsigned char>(t[previn(t, c)])))
        c = previn(t, c);
}

// Tab in a file name: the name is completed as far as the names in its
// folder agree; when they agree no further, a second Tab lists them.
void complete(answer_edit &a) {
    name_completion c = completename(a.text.substr(0, a.cursor));
    if (!c.added.empty()) {
        put(a, c.added);
        a.tabbed = c.names.size() > 1;
        return;
    }
    if (a.tabbed && c.names.size() > 1) {
        for (const std::string &n : c.names)
            a.note += (a.note.empty() ? "" : "  ") + n;
    }
    a.tabbed = c.names.size() > 1;
}

// Carries out an editing key; false for accept, which ends the prompt.
bool apply(answer_edit &a, edit_op op) {
    if (op != edit_op::accept && op != edit_op::older && op != edit_op::newer)
        a.prefilled = false; // the answer as it is, to be edited
    if (op != edit_op::complete)
        a.tabbed = false;
    std::size_t &c = a.cursor;
    switch (op) {
    case edit_op::left:
        c = previn(a.text, c);
        break;
    case edit_op::right:
        c = nextin(a.text, c);
        break;
    case edit_op::home:
        c = 0;
        break;
    case edit_op::end:
        c = a.text.size();
        break;
    case edit_op::wordleft:
    case edit_op::wordright:
        wordmove(a, op == edit_op::wordright);
        break;
    case edit_op::backspace:
        if (c > 0) {
            std::size_t from = previn(a.text, c);
            a.text.erase(from, c - from);
            c = from;
        }
        break;
    case edit_op::erase:
        a.text.erase(c, nextin(a.text, c) - c);
        break;
    case edit_op::older:
    case edit_op::newer:
        walkhistory(a, op == edit_op::older);
        break;
    case edit_op::complete:
        if (a.filename)
            complete(a);
        else
            put(a, "\t");
        break;
    case edit_op::clear:
        settext(a, "");
        break;
    case edit_op::accept:
        return false;
    case edit_op::none:
        break;
    }
    return true;
}

// What the key just read does, by its bytes first: ^C, ^G, ^Q and Escape
// cancel, ^U clears, Enter accepts, whatever they are bound to.
enum class key_use { cancel, toggle, edit, character, paste, refuse };

key_use usebybytes(const key_reader &r, const search_options *opt, edit_op *op) {
    if (r.lastlen == 1 && cancelkey(r.last[0]))
        return key_use::cancel;
    if (r.lastlen == 1) {
        switch (r.last[0]) {
        case 21:
            *op = edit_op::clear;
            return key_use::edit;
        case '\r':
        case '\n':
            *op = edit_op::accept;
            return key_use::edit;
        default:
            break;
        }
    }
    bool alt = r.lastlen == 2 && r.last[0] == 27;
    // Escape twice: Escape and a key is that key with Alt, whenever the key
    // comes, so a second Escape is how Escape cancels.
    if (alt && r.last[1] == 27)
        return key_use::cancel;
    if (alt && opt && std::strchr("cCbBrR", r.last[1]))
        return key_use::toggle;
    return key_use::refuse;
}

key_use keyuse(const editor &ed, int key, const search_options *opt, edit_op *op) {
    *op = edit_op::none;
    if (key == pasted_key)
        return key_use::paste;
    key_use use = usebybytes(ed.reader, opt, op);
    if (use != key_use::refuse)
        return use;
    if (key >= 32 && key != 127)
        return key_use::character; // a character, or a byte that is none
    const command *c = commandfor(key);
    if (c && c->inanswer != edit_op::none) {
        *op = c->inanswer;
        return key_use::edit;
    }
    return key_use::refuse;
}

void toggle(search_options *opt, unsigned char c) {
    c = static_cast<unsigned char>(c | 0x20);
    if (c == 'c')
        opt->nocase = !opt->nocase;
    else if (c == 'r')
        opt->regex = !opt->regex;
    else
        opt->backward = !opt->backward;
}

// The first line of a pasted block goes into the answer, as if typed.
void putpasted(answer_edit &a, std::string &pasted) {
    std::string line;
    for (char b : pasted) {
        if (b == '\n')
            break;
        if (static_cast<unsigned char>(b) >= 32 || b == '\t')
            line += b;
    }
    pasted.clear();
    put(a, line);
}

void putcharacter(answer_edit &a, int key) {
    char text[4];
    if (key & raw_byte) {
        text[0] = static_cast<char>(key & 0xFF);
        put(a, std::string_view(text, 1));
    } else {
        put(a, std::string_view(text, static_cast<std::size_t>(utf8encode(key, text))));
    }
}

void remember(std::vector<std::string> &history, const std::string &answer) {
    if (answer.empty() || (!history.empty() && history.back() == answer))
        return;
    if (history.size() == history_size)
        history.erase(history.begin());
    history.push_back(answer);
}

// Shows the prompt; a note from the key before goes, and the text rows
// it covered are drawn again.
void showanswer(editor &ed, const char *question, const answer_edit &a, search_options *opt,
                const char *note) {
    if (ed.prompt.note && !note) {
        ed.view.drawn.serial = ~0u;
        ed.prompt.note = nullptr;
        display(ed, 0);
    }
    showprompt(ed, {question, a.text.c_str(), a.cursor, a.prefilled, opt, false, note});
}

} // namespace

int prompt(editor &ed, const char *id, char *out, std::size_t size, history_kind kind,
           search_options *opt) {
    std::vector<std::string> &history = ed.histories.answers[static_cast<int>(kind)];
    answer_edit a{out,
                  0,
                  out[0] != '\0',
                  size - 1,
                  history,
                  history.size(),
                  "",
                  kind == history_kind::filename,
                  false,
                  ""};
    a.cursor = a.text.size();
    const char *note = nullptr;
    for (;;) {
        showanswer(ed, getmsg(id), a, opt, note ? note : a.note.empty() ? nullptr : a.note.c_str());
        note = nullptr;
        int key = readkey(ed, ed.keys);
        a.note.clear();
        edit_op op;
        key_use use = key == k_end ? key_use::cancel : keyuse(ed, key, opt, &op);
        if (use == key_use::cancel)
            break;
        if (use == key_use::toggle)
            toggle(opt, ed.reader.last[1]);
        else if (use == key_use::paste)
            putpasted(a, ed.reader.pasted);
        else if (use == key_use::character)
            putcharacter(a, key);
        else if (use == key_use::refuse)
            note = getmsg(m_promptkey);
        else if (!apply(a, op)) {
            remember(history, a.text);
            std::snprintf(out, size, "%s", a.text.c_str());
            showanswer(ed, getmsg(id), a, opt, nullptr);
            closeprompt(ed);
            return 1;
        }
    }
    showanswer(ed, getmsg(id), a, opt, nullptr);
    closeprompt(ed);
    return 0;
}

} // namespace kwed
