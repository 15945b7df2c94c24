// The editor core's message ids. Each is a number, a colon and the built-in
// text, a printf format; the run-control file may replace any of them by
// number (".message N text"). The start-up module's ids, numbered below 20,
// are the f_ globals of kwed.h.
#ifndef KWED_CORE_MESSAGES_H
#define KWED_CORE_MESSAGES_H

namespace kwed {

inline constexpr char m_newfile[] = "20:New file.";
inline constexpr char m_readerr[] = "21:Cannot read %s: %s.";
inline constexpr char m_loaded[] = "22:Read %s, %lld bytes.";
inline constexpr char m_saved[] = "23:Wrote %s, %lld bytes.";
inline constexpr char m_savefail[] = "24:Not saved, %s: %s. The file on disk is unchanged.";
inline constexpr char m_noname[] = "25:No file name given; nothing saved.";
inline constexpr char m_notfound[] = "26:Not found: %s";
inline constexpr char m_wrapped[] = "27:Search went on from the top.";
inline constexpr char m_findprompt[] = "28:Find: ";
inline constexpr char m_lineprompt[] = "29:Go to line: ";
inline constexpr char m_badline[] = "30:Not a line number: %s";
inline constexpr char m_saveprompt[] = "31:Save as: ";
inline constexpr char m_quitprompt[] = "32:Save changes? (y/n; ^C: go back) ";
inline constexpr char m_nomem[] = "33:Out of memory.";
inline constexpr char m_noundo[] = "34:Nothing to undo.";
inline constexpr char m_emptyscrap[] = "35:The scrap is empty.";
inline constexpr char m_scrap[] = "36:%lld lines in the scrap.";
inline constexpr char m_helptitle[] = "37:kwed keys (the next key closes this panel):";
inline constexpr char m_modified[] = "38: [modified]";
inline constexpr char m_position[] = "39:line %ld, col %d ";
inline constexpr char m_title[] = "40:kwed";
inline constexpr char m_rcnotfound[] =
    "41:cannot open the run-control file %s (looked in the current folder, "
    "$HOME and the etc folder)";
inline constexpr char m_rcline[] = "42:%s: line %d: %s.\n";
inline constexpr char m_rcread[] = "43:read error: %s";
inline constexpr char m_longname[] = "44:file name too long: %.60s...\n";
inline constexpr char m_literal[] = "45:Literal %s: the next key goes into the text as it is.";
inline constexpr char m_rcbadnumber[] = "46:bad number \"%s\"";
inline constexpr char m_rcformat[] =
    "47:message %ld must use the %% conversions of its built-in text";
inline constexpr char m_rcdirective[] = "48:unknown directive \"%s\"";
inline constexpr char m_rccommand[] = "49:unknown command \"%s\"";
inline constexpr char m_rckey[] = "50:bad key text \"%s\"";
inline constexpr char m_rcnokey[] = "51:no key given for \"%s\"";
inline constexpr char m_unbound[] = "52:That key is not bound.";
inline constexpr char m_undone[] = "53:Undone.";
inline constexpr char m_unreadable[] =
    "54:The file could not be read at the start; replace it? (y/n) ";
inline constexpr char m_notsaved[] = "55:Not saved.";
inline constexpr char m_exists[] = "56:That file exists already; replace it? (y/n) ";
inline constexpr char m_rescued[] = "57:the terminal went away; the unsaved text was kept in %s\n";
inline constexpr char m_lost[] =
    "58:the terminal went away; the unsaved text could not be kept: %s\n";
inline constexpr char m_changed[] = "59:%s changed on disk since it was read; save over it? (y/n) ";
inline constexpr char m_termrescued[] = "60:told to end; the unsaved text was kept in %s\n";
inline constexpr char m_termlost[] = "61:told to end; the unsaved text could not be kept: %s\n";
inline constexpr char m_savebroken[] =
    "62:Not saved, %s: %s. The file on disk was only partly written; the text "
    "is still here: save it elsewhere.";
inline constexpr char m_wrappedup[] = "63:Search went on from the bottom.";
inline constexpr char m_withprompt[] = "64:Replace with: ";
inline constexpr char m_replaceask[] =
    "65:Replace this one? y: yes, n: no, a: all the rest, ^C or Escape: stop ";
inline constexpr char m_replaced[] = "66:Replaced %lld occurrences.";
inline constexpr char m_replacedone[] = "67:Replaced 1 occurrence.";
inline constexpr char m_nocase[] = "68:case-insensitive";
inline constexpr char m_backward[] = "69:backward";
inline constexpr char m_redone[] = "70:Redone.";
inline constexpr char m_noredo[] = "71:Nothing to redo.";
inline constexpr char m_markset[] = "72:Mark set.";
inline constexpr char m_markgone[] = "73:Mark cleared.";
inline constexpr char m_scrap1[] = "74:%lld line in the scrap.";
inline constexpr char m_scrapchars[] = "75:%lld characters in the scrap.";
inline constexpr char m_scrapchar1[] = "76:%lld character in the scrap.";
inline constexpr char m_dos[] = "77: [DOS]";
inline constexpr char m_readonly[] = "78: [read-only]";
inline constexpr char m_pasteview[] = "79:Nothing pasted: this key map inserts no characters.";
inline constexpr char m_replaceprompt[] = "80:Replace: ";
inline constexpr char m_rcforeign[] = "81:Ignored the run-control file %s: it belongs to user %ld.";
inline constexpr char m_rcwritable[] =
    "82:Ignored the run-control file %s: others may write to it.";
inline constexpr char m_notty[] =
    "83:standard input is not a terminal; kwed reads its keys from one.\n";
inline constexpr char m_promptkey[] =
    "84:That key does nothing here: Enter takes the answer, ^C cancels.";
inline constexpr char m_nocursor[] =
    "85:the terminal %s cannot move the cursor; kwed needs one that can.\n";
inline constexpr char m_saved1[] = "86:Wrote %s, %lld byte.";
inline constexpr char m_loaded1[] = "87:Read %s, %lld byte.";
inline constexpr char m_nofolder[] = "88:New file; its folder %s does not exist.";
inline constexpr char m_savefailnew[] = "89:Not saved, %s: %s.";
inline constexpr char m_isfolder[] = "90:%s is a folder; nothing saved.";
inline constexpr char m_insertprompt[] = "91:Insert file: ";
inline constexpr char m_inserted[] = "92:Inserted %s, %lld bytes.";
inline constexpr char m_inserted1[] = "93:Inserted %s, %lld byte.";
inline constexpr char m_hint[] = "94:%s help  %s save  %s quit  %s find";
inline constexpr char m_helpmore[] =
    "95:kwed keys, page %d of %d (%s: the next page; any other key closes this panel):";
inline constexpr char m_suspended[] = "96:Back in kwed.";
inline constexpr char m_noterm[] =
    "97:Failed to initialise the screen: the terminal type %s is not known here.\n";
inline constexpr char m_onefile[] = "98:Only one file is edited: %s was not opened.";
inline constexpr char m_where[] =
    "99:line %ld/%ld (%d%%), col %ld/%ld (%d%%), char %lld/%lld (%d%%)";
inline constexpr char m_counted[] = "100:%lld words, %lld lines, %lld characters";
inline constexpr char m_regioncounted[] =
    "101:In the region: %lld words, %lld lines, %lld characters";
inline constexpr char m_badregex[] = "102:Not a regular expression: %s (%s)";
inline constexpr char m_regex[] = "103:regular expression";
inline constexpr char m_regionprompt[] = "104:Write the region to: ";
inline constexpr char m_numberson[] = "105:Line numbers shown.";
inline constexpr char m_numbersoff[] = "106:Line numbers hidden.";
inline constexpr char m_spaceson[] = "107:Whitespace shown.";
inline constexpr char m_spacesoff[] = "108:Whitespace hidden.";
inline constexpr char m_notregular[] = "120:%s is not a regular file.";
inline constexpr char m_folderchanged[] = "121:The folder of %s has changed since it was read; "
                                          "save to the folder now at that path? (y/n) ";
inline constexpr char m_dangling[] =
    "122:%s is a link to %s, which does not exist; create it? (y/n) ";
inline constexpr char m_rclink[] = "123:Ignored the run-control file %s: it is a link of user %ld.";
inline constexpr char m_rcpseudo[] = "124:Ignored the run-control file %s: it is in /proc or /sys.";

// The built-in text of any id by its number, null when no id has it.
const char *builtintext(int number);

} // namespace kwed

#endif
