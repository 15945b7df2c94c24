// The editor core's message ids. Each is a number, a colon and the built-in
// text, a printf format; the run-control file may replace any of them by
// number (".message N text").
#include "editor_core.h"

#include <cstdlib>

namespace kwed {

const char *m_newfile = "20:New file.";
const char *m_readerr = "21:Cannot read %s: %s.";
const char *m_loaded = "22:Read %s, %lld bytes.";
const char *m_saved = "23:Wrote %s, %lld bytes.";
const char *m_savefail = "24:Not saved, %s: %s. The file on disk is unchanged.";
const char *m_noname = "25:No file name given; nothing saved.";
const char *m_notfound = "26:Not found: %s";
const char *m_wrapped = "27:Search went on from the top.";
const char *m_findprompt = "28:Find: ";
const char *m_lineprompt = "29:Go to line: ";
const char *m_badline = "30:Not a line number: %s";
const char *m_saveprompt = "31:Save as: ";
const char *m_quitprompt = "32:Discard unsaved changes? (y/n) ";
const char *m_nomem = "33:Out of memory.";
const char *m_noundo = "34:Nothing to undo.";
const char *m_emptyscrap = "35:The scrap is empty.";
const char *m_scrap = "36:%lld lines in the scrap.";
const char *m_helptitle = "37:kwed keys (the next key closes this panel):";
const char *m_modified = "38: [modified]";
const char *m_position = "39:line %ld, col %d ";
const char *m_title = "40:kwed";
const char *m_rcnotfound = "41:cannot open the run-control file %s (looked in the current folder, "
                           "$HOME and the etc folder)";
const char *m_rcline = "42:%s: line %d: %s.\n";
const char *m_rcread = "43:read error: %s";
const char *m_longname = "44:file name too long: %.60s...\n";
const char *m_literal = "45:Literal %s: the next key goes into the text as it is.";
const char *m_rcbadnumber = "46:bad number \"%s\"";
const char *m_rcformat = "47:message %ld must use the %% conversions of its built-in text";
const char *m_rcdirective = "48:unknown directive \"%s\"";
const char *m_rccommand = "49:unknown command \"%s\"";
const char *m_rckey = "50:bad key text \"%s\"";
const char *m_rcnokey = "51:no key given for \"%s\"";
const char *m_unbound = "52:That key is not bound.";
const char *m_undone = "53:Undone.";
const char *m_unreadable = "54:The file could not be read at the start; replace it? (y/n) ";
const char *m_notsaved = "55:Not saved.";
const char *m_exists = "56:That file exists already; replace it? (y/n) ";
const char *m_rescued = "57:the terminal went away; the unsaved text was kept in %s\n";
const char *m_lost = "58:the terminal went away; the unsaved text could not be kept: %s\n";
const char *m_changed = "59:%s changed on disk since it was read; save over it? (y/n) ";
const char *m_termrescued = "60:told to end; the unsaved text was kept in %s\n";
const char *m_termlost = "61:told to end; the unsaved text could not be kept: %s\n";
const char *m_savebroken =
    "62:Not saved, %s: %s. The file on disk was cut short; the text is still "
    "here: save it elsewhere.";

namespace {

const char *const *const all_ids[] = {
    &f_ok,         &f_error,    &f_usage,       &f_initscr,    &f_config,      &f_alloc,
    &m_newfile,    &m_readerr,  &m_loaded,      &m_saved,      &m_savefail,    &m_noname,
    &m_notfound,   &m_wrapped,  &m_findprompt,  &m_lineprompt, &m_badline,     &m_saveprompt,
    &m_quitprompt, &m_nomem,    &m_noundo,      &m_emptyscrap, &m_scrap,       &m_helptitle,
    &m_modified,   &m_position, &m_title,       &m_rcnotfound, &m_rcline,      &m_rcread,
    &m_longname,   &m_literal,  &m_rcbadnumber, &m_rcformat,   &m_rcdirective, &m_rccommand,
    &m_rckey,      &m_rcnokey,  &m_unbound,     &m_undone,     &m_unreadable,  &m_notsaved,
    &m_exists,     &m_rescued,  &m_lost,        &m_changed,    &m_termrescued, &m_termlost,
    &m_savebroken};

} // namespace

const char *builtintext(int number) {
    for (const char *const *id : all_ids) {
        char *end;
        long n = std::strtol(*id, &end, 0);
        if (n == number && *end)
            return end + 1;
    }
    return nullptr;
}

} // namespace kwed
