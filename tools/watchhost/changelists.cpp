#include "changelists.h"

#include <windows.h>

#include <cstdio>

#include "output.h"

namespace {

const char* const kLists[] = {"fldrscan.out", "fldrscan2.out"};

}  // namespace

std::vector<ChangeEntry> ReadChangeLists(const std::string& log_path, bool consume) {
  std::vector<ChangeEntry> entries;
  for (const char* list : kLists) {
    const std::string path = log_path + list;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) continue;
    std::string line;
    for (int c; (c = std::fgetc(file)) != EOF || !line.empty();) {
      if (c != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) {
        const bool removed = line[0] == '-';
        entries.push_back({list, removed, removed ? line.substr(1) : line});
      }
      line.clear();
      if (c == EOF) break;
    }
    std::fclose(file);
    if (consume) {
      // The plug-in only appends; emptying the list marks these entries as handled.
      FILE* emptied = std::fopen(path.c_str(), "wb");
      if (emptied) std::fclose(emptied);
    }
  }
  return entries;
}

void PrintChanges(const std::vector<ChangeEntry>& entries) {
  // In batches: a first scan of a large library reports hundreds of thousands of entries.
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::string stamp = Format("%02u:%02u:%02u ", now.wHour, now.wMinute, now.wSecond);
  std::string batch;
  for (const ChangeEntry& entry : entries) {
    batch += stamp + Format("%-13s %c ", entry.list.c_str(), entry.removed ? '-' : '+') + entry.path + "\n";
    if (batch.size() >= 65536) {
      Out("%s", batch.c_str());
      batch.clear();
    }
  }
  if (!batch.empty()) Out("%s", batch.c_str());
}

std::string ScanLogPath(const std::string& log_path, const std::string& folder, const char* kind) {
  std::string stem = folder;
  if (stem.empty() || stem.back() != '\\') stem.push_back('\\');
  for (char& c : stem) {
    if (c == '\\' || c == ':') c = '_';
  }
  return log_path + stem + kind + "scan.log";
}
