// Finding a POSIX extended regular expression in the text. Matches lie
// within a line (a newline in the text is never matched, and ^ and $ match
// at the ends of lines), so the text is searched in pieces of whole lines,
// which keeps the matcher's own memory small on a large file.
#include "editor_core.h"

#include <cstring>

namespace kwed {

namespace {

// The text is searched in pieces of about this many bytes, cut at lines.
constexpr offset_t piece = 32768;

// The first match in [from, to) of the text whose bytes start at base
// (the offset of base is at), or -1; the match's groups with groups. The
// text at base runs on to a NUL, after the text's end at the latest (the
// gap buffer keeps one there), so that base is a C string as regexec
// takes it, though REG_STARTEND tells it where to stop.
offset_t matchin(editor &ed, const char *base, offset_t at, offset_t from, offset_t to, int groups,
                 offset_t *end) {
    compiled_regex &re = ed.search.regex;
    regmatch_t m[compiled_regex::groups];
    m[0].rm_so = static_cast<regoff_t>(from - at);
    m[0].rm_eo = static_cast<regoff_t>(to - at);
    // Before the first byte given there is no line start unless it is one.
    bool bol = from == 0 || byteat(ed.buffer, from - 1) == '\n';
    int flags = REG_STARTEND | (bol || from > at ? 0 : REG_NOTBOL);
    if (regexec(&re.get(), base, static_cast<std::size_t>(groups), m, flags) != 0)
        return -1;
    for (int g = 0; g < groups; ++g) {
        re.from[g] = m[g].rm_so < 0 ? -1 : at + m[g].rm_so;
        re.to[g] = m[g].rm_so < 0 ? -1 : at + m[g].rm_eo;
    }
    *end = at + m[0].rm_eo;
    return at + m[0].rm_so;
}

// The end of the line that holds the byte piece bytes after from.
offset_t pieceend(const text_buffer &b, offset_t from) {
    offset_t size = textsize(b);
    return from + piece >= size ? size : lineend(b, from + piece);
}

offset_t forward(editor &ed, offset_t from, offset_t *end) {
    text_buffer &b = ed.buffer;
    offset_t size = textsize(b);
    movegap(b, from);
    // From here on the text lies after the gap.
    const char *start = b.egap;
    for (offset_t at = from; at <= size;) {
        offset_t to = pieceend(b, at);
        offset_t found = matchin(ed, start, from, at, to, 1, end);
        if (found >= 0)
            return matchin(ed, start, from, found, lineend(b, found), compiled_regex::groups, end);
        at = to + 1;
    }
    return -1;
}

offset_t backward(editor &ed, offset_t from, offset_t *end) {
    text_buffer &b = ed.buffer;
    if (from <= 0)
        return -1;
    offset_t last = lineend(b, from - 1);
    movegap(b, last);
    // Before the gap the text lies from its start.
    for (offset_t to = last; to >= 0;) {
        offset_t at = to > piece ? linestart(b, to - piece) : 0;
        offset_t best = -1, bestend = -1;
        for (offset_t o = at; o <= to;) {
            offset_t e;
            offset_t found = matchin(ed, b.buf, 0, o, to, 1, &e);
            if (found < 0 || found >= from)
                break;
            best = found;
            bestend = e;
            if (e > found)
                o = e;
            else if (found >= to)
                break;
            else
                o = nextchar(b, found);
        }
        if (best >= 0)
            return matchin(ed, b.buf, 0, best, bestend, compiled_regex::groups, end);
        to = at - 1;
    }
    return -1;
}

} // namespace

int compiled_regex::compile(const char *source, bool nocase, char *error, std::size_t size) {
    if (ready_ && source_ == source && nocase_ == nocase)
        return 0;
    release();
    int err = regcomp(&re_, source, REG_EXTENDED | REG_NEWLINE | (nocase ? REG_ICASE : 0));
    if (err != 0) {
        regerror(err, &re_, error, size);
        regfree(&re_);
        return err;
    }
    ready_ = true;
    source_ = source;
    nocase_ = nocase;
    return 0;
}

offset_t findregex(editor &ed, offset_t from, bool back, offset_t *end) {
    if (!ed.search.regex.ready())
        return -1;
    offset_t size = textsize(ed.buffer);
    from = from < 0 ? 0 : from > size ? size : from;
    return back ? backward(ed, from, end) : forward(ed, from, end);
}

offset_t locate(editor &ed, offset_t from, search_options opt, offset_t *end) {
    if (opt.regex)
        return findregex(ed, from, opt.backward, end);
    return findmatch(ed.buffer, from, ed.search.pattern, opt, end);
}

std::string expandreplacement(const editor &ed) {
    const char *r = ed.search.replacement;
    if (!ed.search.options.regex)
        return r;
    const compiled_regex &re = ed.search.regex;
    std::string out;
    for (; *r; ++r) {
        if (r[0] == '\\' && r[1] >= '0' && r[1] <= '9') {
            int g = r[1] - '0';
            ++r;
            if (re.from[g] >= 0) {
                std::string part(static_cast<std::size_t>(re.to[g] - re.from[g]), '\0');
                copytext(ed.buffer, re.from[g], part.size(), part.data());
                out += part;
            }
        } else if (r[0] == '\\' && r[1] == '\\') {
            out += *++r;
        } else {
            out += *r;
        }
    }
    return out;
}

} // namespace kwed
