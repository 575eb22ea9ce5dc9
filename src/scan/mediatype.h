// Which files are media: the host's formats.ini pattern lists ("*.mp3;*.wma").
//
// formats.ini lives in DataCache\Formats beside the process executable. Reading a list costs
// one profile read (about 0.2 ms under Wine: the file is reopened every time), so a scan reads
// the general list once and matches with MatchesPatternList; only the image list is cached, for
// the life of the module. A missing formats.ini gives empty lists, which match nothing.
#pragma once

#include <cstddef>

#include "text/bytestring.h"

// Size of a pattern-list buffer: a list is matched on at most its first 1023 characters.
constexpr std::size_t kPatternListSize = 1024;

// Full path of formats.ini into destination when it fits capacity; untouched otherwise.
void GetFormatsIniPath(char* destination, std::size_t capacity);
// The image pattern list, read once per module lifetime (empty when there is none yet).
void GetImageExtensions(ByteString& destination);
// The general list ("searchpatterns", ext1) into a buffer of size bytes, always terminated;
// empty when formats.ini is missing.
void ReadGeneralPatternList(char* destination, std::size_t size);
// The list a walk matches against, into a buffer of size bytes (kPatternListSize: at most 1023
// characters of it), always terminated: the passed list, or the general list when none is passed.
void ChoosePatternList(const char* patterns, char* destination, std::size_t size);
// True when "*.<extension>" (lower-cased) is an entry of the list: a plain search for it followed
// by ';' or the list's end. Only the pattern is lowered, so a list written in capitals matches
// nothing. An extension longer than 254 characters matches nothing, and so does a null list.
bool MatchesPatternList(const char* extension, const char* list);
