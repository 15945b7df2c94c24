// Finding and replacing text, and going to a line.
#include "editor_core.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kwed {

namespace {

// The last text looked for and the last replacement; find and replace
// offer them again. The options stay for findnext and findprevious.
char pattern[256];
char replacement[256];
search_options options;

// Moves to the next match in the given direction, going on from the other
// end of the text once.
void search(bool backward) {
    search_options opt = options;
    opt.backward = backward;
    offset_t size = textsize();
    offset_t from = backward || buffer.point >= size ? buffer.point : nextchar(buffer.point);
    offset_t end;
    offset_t at = findmatch(from, pattern, opt, &end);
    if (at < 0) {
        at = findmatch(backward ? size : 0, pattern, opt, &end);
        if (at < 0) {
            msg(m_notfound, pattern);
            return;
        }
        msg(backward ? m_wrappedup : m_wrapped);
    }
    buffer.point = at;
}

bool askpattern(const char *id) {
    char answer[sizeof pattern];
    std::strcpy(answer, pattern);
    if (!prompt(id, answer, sizeof answer, &options) || answer[0] == '\0')
        return false;
    std::strcpy(pattern, answer);
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
};

// The next match to offer, or -1 at the end of the run.
offset_t nextmatch(replace_run &r, offset_t *end) {
    for (;;) {
        offset_t at = findmatch(r.pos, pattern, r.opt, end);
        if (at >= 0 && r.opt.backward && *end > r.hi) {
            r.pos = at; // it overlaps the last one offered
            continue;
        }
        if (at >= 0 && r.wrapped && (r.opt.backward ? at < r.lo : at >= r.origin || *end > r.fence))
            at = -1;
        if (at >= 0 || r.wrapped)
            return at;
        r.wrapped = true;
        r.pos = r.opt.backward ? textsize() : 0;
        r.hi = textsize();
        if (r.fence < 0)
            r.fence = textsize();
    }
}

// Replaces [at, end); false when memory runs out.
bool replaceone(replace_run &r, offset_t at, offset_t end) {
    std::size_t n = std::strlen(replacement);
    edit_delete(at, static_cast<std::size_t>(end - at));
    if (n > 0 && !edit_insert(at, replacement, n)) {
        msg(m_nomem);
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
    r.hi = at;
    ++r.count;
    return true;
}

} // namespace

void find() {
    if (askpattern(m_findprompt))
        search(options.backward);
}

void findnext() {
    if (pattern[0] == '\0')
        find();
    else
        search(options.backward);
}

void findprevious() {
    if (pattern[0] != '\0' || askpattern(m_findprompt))
        search(true);
}

void replace() {
    char with[sizeof replacement];
    std::strcpy(with, replacement);
    if (!askpattern(m_replaceprompt) || !prompt(m_withprompt, with, sizeof with, &options))
        return;
    std::strcpy(replacement, with);
    replace_run r{options, buffer.point, buffer.point};
    r.hi = textsize();
    r.lo = buffer.point;
    offset_t end;
    for (offset_t at; (at = nextmatch(r, &end)) >= 0;) {
        int answer = 'y';
        if (!r.all) {
            // Show the match with the cursor on it, then ask.
            buffer.point = at;
            display(0);
            answer = choose(m_replaceask, "yna");
            r.all = answer == 'a';
        }
        if (answer == 0)
            break;
        if (answer == 'n') {
            r.pos = r.opt.backward ? at : end;
            r.hi = at;
        } else if (!replaceone(r, at, end)) {
            return;
        }
        buffer.point = r.pos;
    }
    if (r.count == 1)
        msg(m_replacedone);
    else
        msg(m_replaced, r.count);
}

void gotoline() {
    char answer[32] = "";
    if (!prompt(m_lineprompt, answer, sizeof answer) || answer[0] == '\0')
        return;
    char *end;
    errno = 0;
    long long n = std::strtoll(answer, &end, 10);
    while (*end == ' ')
        ++end;
    if (end == answer || *end != '\0' || errno == ERANGE) {
        msg(m_badline, answer);
        return;
    }
    buffer.point = linetooffset(n < 1 ? 1 : static_cast<offset_t>(n));
    centre_now = 1;
}

} // namespace kwed
