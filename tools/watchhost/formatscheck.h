// formats.ini read as the plug-in reads it, to say which media types it will really see.
//
// The plug-in reads two pattern lists with GetPrivateProfileString: "ext1" of [searchpatterns]
// (1023 characters at most) for the watched folders and "imageext" of [image] (259 at most) for
// the pictures folder. It lowers a file's extension, puts "*." before it and looks for that text in
// the list followed by ';' or the list's end. So only entries "*.<ext>" written in lower case ever
// match; anything past the length limit is never seen.
#pragma once

#include <string>
#include <vector>

struct PatternListReport {
  const char* section;
  const char* key;
  const char* used_for;              // "media files of the watched folders"
  bool key_present = false;
  bool section_present = false;
  size_t length = 0;                 // of the value in the file
  size_t limit = 0;                  // what the plug-in reads of it
  std::vector<std::string> usable;   // the extensions that can match, as "*.mp3"
  std::vector<std::string> unusable; // each entry that never matches, with why
};

struct FormatsReport {
  std::string path;
  bool exists = false;
  PatternListReport media;
  PatternListReport images;
};

FormatsReport CheckFormats(const std::string& ini_path);

// What is wrong, one line each, naming the file: no file, no usable pattern in a list, a list
// longer than the plug-in reads. Empty when both lists have usable patterns and fit.
std::vector<std::string> FormatsWarnings(const FormatsReport& report);
