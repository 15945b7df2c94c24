// Finding and replacing text, and going to a line.
#include "editor_core.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kwed {

namespace {

// Moves to the next match in the given direction, going on from the other
// end of the text once.
// The search text compiled, when the options make it a regular
// expression; false (and the message line says why) when it is none.
bool compiled(editor &ed, search_options opt) {
    if (!opt.regex)
        return true;
    char error[msgline_size];
    if (ed.search.regex.compile(ed.search.pattern, opt.nocase, error, sizeof error) == 0)
        return true;
    msg(ed, m_badregex, ed.search.pattern, error);
    return false;
}

result search(editor &ed, bool backward) {
    const text_buffer &b = ed.buffer;
    const char *pattern = ed.search.pattern;
    search_options opt = ed.search.options;
    opt.backward = backward;
    if (!compiled(ed, opt))
        return result::failed;
    offset_t size = textsize(b);
    offset_t from = backward || b.point >= size ? b.point : nextchar(b, b.point);
    offset_t end;
    offset_t at = locate(ed, from, opt, &end);
    if (at < 0) {
        at = locate(ed, backward ? size : 0, opt, &end);
        if (at < 0) {
            msg(ed, m_notfound, pattern);
            return result::failed;
        }
        msg(ed, backward ? m_wrappedup : m_wrapped);
    }
    ed.buffer.point = at;
    return result::ok;
}

bool askpattern(editor &ed, const char *id, search_options *opt) {
    char answer[pattern_size];
    std::strcpy(answer, ed.search.pattern);
    if (!prompt(ed, id, answer, sizeof answer, history_kind::search, opt) || answer[0] == '\0')
        return false;
    std::strcpy(ed.search.pattern, answer);
    return true;
}

// One run of replace: from the cursor to one end of the text, then on from
// the other end up to where it started. Replaced text is never looked at
// again: the search goes on past it, and after going on from the other end
// it stops before the text replaced first.
struct replace_run {
    search_options opt;
    offset_t pos;    // forward, the next match starts at or after it; backward, before it
    offset_t origin; // where the run started
    // Forward, after going on from the top: matches end before the first
    // text replaced. Backward: matches end before hi, and after going on
    // from the bottom they start at or after lo.
    offset_t fence = -1;
    offset_t hi = 0;
    offset_t lo = 0;
    bool wrapped = false;
    bool all = false; // replace the rest without asking
    long long count = 0;
    offset_t lastempty = -1; // an empty match offered there last
};

// The next match to offer, or -1 at the end of the run.
offset_t nextmatch(editor &ed, replace_run &r, offset_t *end) {
    const text_buffer &b = ed.buffer;
    for (;;) {
        offset_t at = locate(ed, r.pos, r.opt, end);
        // An empty match is offered once: then the search goes on after it.
        if (at >= 0 && *end == at && at == r.lastempty) {
            if (at < textsize(b)) {
                r.pos = nextchar(b, at);
                continue;
            }
            at = -1;
        }
        if (at >= 0 && *end == at)
            r.lastempty = at;
        if (at >= 0 && r.opt.backward && *end > r.hi) {
            r.pos = at; // it overlaps the last one offered
            continue;
        }
        if (at >= 0 && r.wrapped && (r.opt.backward ? at < r.lo : at >= r.origin || *end > r.fence))
            at = -1;
        if (at >= 0 || r.wrapped)
            return at;
        r.wrapped = true;
        r.pos = r.opt.backward ? textsize(b) : 0;
        r.hi = textsize(b);
        if (r.fence < 0)
            r.fence = textsize(b);
    }
}

// Replaces [at, end); false when memory runs out.
bool replaceone(editor &ed, replace_run &r, offset_t at, offset_t end) {
    std::string replacement = expandreplacement(ed);
    std::size_t n = replacement.size();
    edit_delete(ed, at, static_cast<std::size_t>(end - at));
    if (n > 0 && !edit_insert(ed, at, replacement.data(), n)) {
        msg(ed, m_nomem);
        return false;
    }
    offset_t grown = static_cast<offset_t>(n) - (end - at);
    if (r.opt.backward) {
        if (!r.wrapped)
            r.lo = (end > r.lo ? end : r.lo) + grown;
    } else if (r.wrapped) {
        r.origin += grown;
        r.fence += grown;
    } else if (r.fence < 0) {
        r.fence = at; // the first text replaced
    }
    r.pos = r.opt.backward ? at : at + static_cast<offset_t>(n);
    if (end == at)
        r.lastempty = r.pos;
    r.hi = at;
    ++r.count;
    return true;
}

} // namespace

result find(editor &ed) {
    if (!askpattern(ed, m_findprompt, &ed.search.options))
        return result::cancelled;
    return search(ed, ed.search.options.backward);
}

// Asks with the direction backward for this search; the other choices made
// in the question stay for the next ones.
result findbackward(editor &ed) {
    search_options opt = ed.search.options;
    opt.backward = true;
    if (!askpattern(ed, m_findprompt, &opt))
        return result::cancelled;
    ed.search.options.nocase = opt.nocase;
    ed.search.options.regex = opt.regex;
    return search(ed, opt.backward);
}

result findnext(editor &ed) {
    if (ed.search.pattern[0] == '\0')
        return find(ed);
    return search(ed, ed.search.options.backward);
}

result findprevious(editor &ed) {
    if (ed.search.pattern[0] == '\0' && !askpattern(ed, m_findprompt, &ed.search.options))
        return result::cancelled;
    return search(ed, true);
}

result replace(editor &ed) {
    char with[pattern_size];
    std::strcpy(with, ed.search.replacement);
    if (!askpattern(ed, m_replaceprompt, &ed.search.options) ||
        !prompt(ed, m_withprompt, with, sizeof with, history_kind::replacement, &ed.search.options))
        return result::cancelled;
    std::strcpy(ed.search.replacement, with);
    if (!compiled(ed, ed.search.options))
        return result::failed;
    text_buffer &b = ed.buffer;
    replace_run r{ed.search.options, b.point, b.point};
    r.hi = textsize(b);
    r.lo = b.point;
    offset_t end;
    for (offset_t at; (at = nextmatch(ed, r, &end)) >= 0;) {
        int answer = 'y';
        if (!r.all) {
            // Show the match with the cursor on it, then ask.
            b.point = at;
            display(ed, 0);
            answer = choose(ed, m_replaceask, "yna");
            r.all = answer == 'a';
        }
        if (answer == 0)
            break;
        if (answer == 'n') {
            r.pos = r.opt.backward ? at : end;
            r.hi = at;
        } else if (!replaceone(ed, r, at, end)) {
            return result::failed;
        }
        b.point = r.pos;
    }
    if (r.count == 1)
        msg(ed, m_replacedone);
    else
        msg(ed, m_replaced, r.count);
    return result::ok;
}

namespace {

// A number of the answer to go to line: true when one is there (and *s is
// moved past it and the blanks after it).
bool number(const char **s, long long *n) {
    char *end;
    errno = 0;
    *n = std::strtoll(*s, &end, 10);
    if (end == *s || errno == ERANGE)
        return false;
    while (*end == ' ')
        ++end;
    *s = end;
    return true;
}

// "line" or "line,column": from 1, or counted back from the end when
// negative (-1 the last line, or the end of the line).
bool lineandcolumn(const char *s, long long *line, long long *col) {
    *col = 1;
    if (!number(&s, line))
        return false;
    if (*s == ',') {
        ++s;
        if (!number(&s, col))
            return false;
    }
    return *s == '\0';
}

// The place of character col (from 1) on the line that starts at ls;
// past its end, the end.
offset_t columnplace(const text_buffer &b, offset_t ls, long long col) {
    offset_t end = lineend(b, ls);
    if (col < 0) {
        offset_t o = end;
        for (; col < -1 && o > ls; ++col)
            o = prevcluster(b, o);
        return o;
    }
    offset_t o = ls;
    for (; col > 1 && o < end; --col)
        o = nextcluster(b, o);
    return o;
}

} // namespace

void gotocolumn(editor &ed, long long col) {
    text_buffer &b = ed.buffer;
    if (col != 0)
        b.point = columnplace(b, linestart(b, b.point), col);
}

result gotoline(editor &ed) {
    char answer[64] = "";
    if (!prompt(ed, m_lineprompt, answer, sizeof answer, history_kind::line) || answer[0] == '\0')
        return result::cancelled;
    long long line, col;
    if (!lineandcolumn(answer, &line, &col) || col == 0) {
        msg(ed, m_badline, answer);
        return result::failed;
    }
    text_buffer &b = ed.buffer;
    offset_t lines = b.newlines + 1;
    if (line < 0)
        line = line < -lines ? 1 : lines + 1 + line;
    offset_t ls = linetooffset(b, line < 1 ? 1 : static_cast<offset_t>(line));
    b.point = columnplace(b, ls, col);
    ed.centre_now = 1;
    return result::ok;
}

} // namespace kwed
