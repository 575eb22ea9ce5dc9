#include "formatscheck.h"

#include <windows.h>

#include <cstring>

#include "paths.h"

namespace {

// Longer than either list the plug-in reads, so that a value it cuts is seen whole here.
constexpr DWORD kWholeValue = 65536;

std::string ReadValue(const std::string& path, const char* section, const char* key, DWORD size) {
  std::string value(size, '\0');
  const DWORD length = GetPrivateProfileStringA(section, key, "", &value[0], size, path.c_str());
  value.resize(length);
  return value;
}

// True when the names list (NUL-separated, as the profile functions give it) holds name.
bool ListHolds(const std::string& names, const char* name) {
  for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
    if (lstrcmpiA(names.c_str() + at, name) == 0) return true;
  }
  return false;
}

bool LowerCaseAlready(const std::string& text) {
  std::string lowered = text;
  CharLowerBuffA(&lowered[0], static_cast<DWORD>(lowered.size()));
  return lowered == text;
}

// Why an extension text (what follows "*.") can never be a lowered file extension; null when it can.
const char* ExtensionProblem(const std::string& extension) {
  if (extension.empty()) return "names no extension";
  if (extension.find_first_of("*?\"<>|/\\:") != std::string::npos || extension.back() == ' ' ||
      extension.back() == '.') {
    return "is no extension a file name can have";
  }
  if (!LowerCaseAlready(extension)) {
    return "is not in lower case (the plug-in lowers the file's extension, never the list)";
  }
  return nullptr;
}

// The extensions an entry lets through: whatever follows one of its "*." to the entry's end.
void ClassifyEntry(const std::string& entry, bool cut, PatternListReport* report) {
  const char* why = "is not of the form *.<ext>";
  for (size_t star = entry.find("*."); star != std::string::npos; star = entry.find("*.", star + 1)) {
    const std::string extension = entry.substr(star + 2);
    const char* problem = ExtensionProblem(extension);
    if (!problem) {
      report->usable.push_back("*." + extension);
      return;
    }
    why = problem;
  }
  report->unusable.push_back("'" + entry + "' " + why + (cut ? " (cut by the length limit)" : ""));
}

PatternListReport CheckList(const std::string& path, const char* section, const char* key, size_t limit,
                            const char* used_for) {
  PatternListReport report;
  report.section = section;
  report.key = key;
  report.used_for = used_for;
  report.limit = limit;
  const std::string sections = ReadValue(path, nullptr, nullptr, kWholeValue);
  report.section_present = ListHolds(sections, section);
  report.key_present = report.section_present && ListHolds(ReadValue(path, section, nullptr, kWholeValue), key);
  const std::string whole = ReadValue(path, section, key, kWholeValue);
  report.length = whole.size();
  const std::string seen = whole.substr(0, limit);
  for (size_t start = 0; start <= seen.size();) {
    size_t end = seen.find(';', start);
    if (end == std::string::npos) end = seen.size();
    const std::string entry = seen.substr(start, end - start);
    const bool cut = end == seen.size() && whole.size() > seen.size() && whole[seen.size()] != ';';
    if (!entry.empty()) ClassifyEntry(entry, cut, &report);
    start = end + 1;
  }
  return report;
}

void ListWarnings(const FormatsReport& formats, const PatternListReport& list, std::vector<std::string>* out) {
  const std::string where = formats.path + ": [" + list.section + "] " + list.key;
  if (list.length > list.limit) {
    out->push_back(where + " is " + std::to_string(list.length) + " characters long; the plug-in reads only the first " +
                   std::to_string(list.limit) + ", and never sees the rest");
  }
  if (!list.usable.empty()) return;
  std::string why;
  if (!list.section_present) {
    why = "there is no [" + std::string(list.section) + "] section";
  } else if (!list.key_present) {
    why = "the section has no " + std::string(list.key);
  } else if (list.unusable.empty()) {
    why = std::string(list.key) + " is empty";
  } else {
    why = list.unusable.front();
    if (list.unusable.size() > 1) why += ", and " + std::to_string(list.unusable.size() - 1) + " more never match";
  }
  out->push_back(where + " has no usable pattern (" + why + "): the plug-in will report no " + list.used_for);
}

}  // namespace

FormatsReport CheckFormats(const std::string& ini_path) {
  FormatsReport report;
  report.path = ini_path;
  report.exists = FileExists(ini_path);
  report.media = CheckList(ini_path, "searchpatterns", "ext1", 1023, "media files of the watched folders");
  report.images = CheckList(ini_path, "image", "imageext", 259, "pictures of the pictures folder");
  return report;
}

std::vector<std::string> FormatsWarnings(const FormatsReport& report) {
  std::vector<std::string> warnings;
  if (!report.exists) {
    warnings.push_back("no formats.ini at " + report.path + ": the plug-in will report no media files and no pictures");
    return warnings;
  }
  ListWarnings(report, report.media, &warnings);
  ListWarnings(report, report.images, &warnings);
  return warnings;
}
