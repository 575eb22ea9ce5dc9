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

bool CheckPluginFile(const std::string& path, std::string* problem) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *problem = "cannot open " + path + " (no such file, or not readable)";
    return false;
  }
  std::vector<char> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS32 nt;
  if (!ReadAt(image, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      !ReadAt(image, dos.e_lfanew, &nt) || nt.Signature != IMAGE_NT_SIGNATURE) {
    *problem = path + " is not a Windows program or DLL";
    return false;
  }
  if (nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386 ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    *problem = path + " is not a 32-bit (x86) module; the host is 32-bit";
    return false;
  }
  if (!(nt.FileHeader.Characteristics & IMAGE_FILE_DLL)) {
    *problem = path + " is a program, not a DLL";
    return false;
  }

  const size_t sections = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
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
