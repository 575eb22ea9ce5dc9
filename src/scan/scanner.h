// Depth-first walk of one folder tree writing a scan-log line per media file.
//
// Each directory is listed once (its media files are written in listing order, then its
// subdirectories are walked one after another). The exempt folder is the caller's, and the
// pattern list (the general list of formats.ini when none is passed) is taken once per call, not
// per directory or file; nothing here reads the registry. Memory: the names of
// the subdirectories still waiting along the current branch, and the lines of the directory being
// listed, which are written only once its listing has reached its end.
//
// Failures: a directory that cannot be listed (access denied, vanished, a listing that stops with
// an error before its end, or a path that does not fit the 260-byte path limit) is passed over
// whole, none of its lines written; its siblings and ancestors are still walked, and the answer is
// false. The empty top of a drive, which lists nothing at all, is an empty directory. A link or
// junction that leads back to a directory above it is left out, as if it were not there (it is
// no directory that failed: nothing found through it before is kept), so a loop ends the walk's
// way down instead of repeating it (each link met costs one open per level of its path). Names
// are listed in UTF-16: one the code page cannot spell exactly is written by its short name, or
// left out when it has none. Write errors on the output file are ignored.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

class IndexWriter;
class PreviousWalk;
class ScanParts;

// A walk with a directory index (see walkindex.h). previous: the index of the scan log the walk
// replaces (null: none valid); next: where the new scan's index is written (null: none). A quick
// walk takes a directory whose stamp is as its record keeps it from that record instead of
// listing it, but never a directory that is a link, junction or mount point, or lies below one,
// and it checks the record's links again; any other walk lists every directory and, with a
// previous index, sets stamps_lied when a directory whose stamp is unchanged lists otherwise than
// its record says.
struct IndexedWalk {
  PreviousWalk* previous = nullptr;
  IndexWriter* next = nullptr;
  bool quick = false;
  bool stamps_lied = false;
  // Where a quick walk records which of its lines it copied from the old scan (null: nowhere).
  ScanParts* parts = nullptr;
};

// out: open for writing in binary mode; each line ends in CR LF, as scan logs hold them on the
// disk. drive: "C:" or empty; directory: without trailing backslash ("\Music"); patterns: the list to
// match (see ChoosePatternList); exempt_folder: the folder skipped with its whole subtree, with or
// without its trailing backslash, ASCII case ignored (null, empty, or 260 characters or more: no
// folder is exempt). True when the walk completed (or the directory is exempt); false when some
// directory could not be listed. When unlisted is given, every directory that could not be listed
// is appended to it, in walk order, as its lines would start ("C:\Music\Live\"); the watched
// folder itself comes first when it is the one. A walk cut short by want of memory answers false
// with the list empty: then nobody knows which directories were missed. indexed: see IndexedWalk
// (null: a plain walk); the lines it writes are a plain walk's.
bool ScanFolder(const char* drive, const char* directory, FILE* out, const char* patterns,
                const char* exempt_folder, std::vector<std::string>* unlisted, IndexedWalk* indexed = nullptr);
