#include "pecheck.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

template <typename T>
bool ReadAt(const std::vector<char>& image, size_t offset, T* out) {
  if (offset > image.size() || image.size() - offset < sizeof(T)) return false;
  std::memcpy(out, image.data() + offset, sizeof(T));
  return true;
}

// Maps a relative virtual address to its offset in the file through the section table.
bool RvaToOffset(const std::vector<char>& image, size_t sections, WORD count, DWORD rva,
                 size_t* offset) {
  for (WORD i = 0; i < count; ++i) {
    IMAGE_SECTION_HEADER section;
    if (!ReadAt(image, sections + i * sizeof(section), &section)) return false;
    DWORD size = section.Misc.VirtualSize ? section.Misc.VirtualSize : section.SizeOfRawData;
    if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
      *offset = section.PointerToRawData + (rva - section.VirtualAddress);
      return true;
    }
  }
  return false;
}

bool ReadName(const std::vector<char>& image, size_t offset, std::string* name) {
  name->clear();
  for (; offset < image.size(); ++offset) {
    if (image[offset] == '\0') return true;
    name->push_back(image[offset]);
  }
  return false;
}

}  // namespace

const char* HostMachineName() { return sizeof(void*) == 8 ? "x64" : "x86"; }

bool CheckPluginFile(const std::string& path, std::string* problem) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *problem = "cannot open " + path + " (no such file, or not readable)";
    return false;
  }
  std::vector<char> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  IMAGE_DOS_HEADER dos;
  DWORD signature = 0;
  IMAGE_FILE_HEADER header;
  WORD magic = 0;
  if (!ReadAt(image, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
      !ReadAt(image, static_cast<size_t>(dos.e_lfanew), &signature) || signature != IMAGE_NT_SIGNATURE ||
      !ReadAt(image, static_cast<size_t>(dos.e_lfanew) + sizeof(signature), &header) ||
      !ReadAt(image, static_cast<size_t>(dos.e_lfanew) + sizeof(signature) + sizeof(header), &magic)) {
    *problem = path + " is not a Windows program or DLL";
    return false;
  }
  const bool is64 = header.Machine == IMAGE_FILE_MACHINE_AMD64 && magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  const bool is32 = header.Machine == IMAGE_FILE_MACHINE_I386 && magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
  const char* const kind = is64 ? "a 64-bit (x64)" : is32 ? "a 32-bit (x86)" : "neither an x86 nor an x64";
  if (!(sizeof(void*) == 8 ? is64 : is32)) {
    *problem = path + " is " + kind + " module; this watchhost is " +
               (sizeof(void*) == 8 ? "64-bit and loads only x64 DLLs" : "32-bit and loads only x86 DLLs");
    return false;
  }
  if (!(header.Characteristics & IMAGE_FILE_DLL)) {
    *problem = path + " is a program, not a DLL";
    return false;
  }

  // Of this host's own layout now: IMAGE_NT_HEADERS is the 32-bit or the 64-bit form to match.
  IMAGE_NT_HEADERS nt;
  if (!ReadAt(image, static_cast<size_t>(dos.e_lfanew), &nt)) {
    *problem = path + " is cut short";
    return false;
  }
  const size_t sections = static_cast<size_t>(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                          nt.FileHeader.SizeOfOptionalHeader;
  const WORD count = nt.FileHeader.NumberOfSections;
  const IMAGE_DATA_DIRECTORY& exports =
      nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  size_t directory_offset = 0;
  IMAGE_EXPORT_DIRECTORY directory;
  if (exports.VirtualAddress == 0 ||
      !RvaToOffset(image, sections, count, exports.VirtualAddress, &directory_offset) ||
      !ReadAt(image, directory_offset, &directory)) {
    *problem = path + " exports nothing; the plug-in must export EventCallback";
    return false;
  }
  for (DWORD i = 0; i < directory.NumberOfNames; ++i) {
    size_t names = 0, name_offset = 0;
    DWORD name_rva = 0;
    std::string name;
    if (!RvaToOffset(image, sections, count, directory.AddressOfNames, &names) ||
        !ReadAt(image, names + i * sizeof(DWORD), &name_rva) ||
        !RvaToOffset(image, sections, count, name_rva, &name_offset) ||
        !ReadName(image, name_offset, &name)) {
      break;
    }
    if (name == "EventCallback") return true;
  }
  *problem = path + " does not export EventCallback (undecorated)";
  return false;
}
