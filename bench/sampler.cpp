#include "sampler.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

namespace {

constexpr int kMostSamples = 4000;

std::string Demangled(std::string name) {
  // 32-bit Windows symbols carry one more leading underscore than the mangled name.
  if (name.rfind("__Z", 0) == 0) name.erase(0, 1);
  int status = 0;
  char* text = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  if (status != 0 || !text) return name;
  std::string result = text;
  std::free(text);
  const std::pair<const char*, const char*> shorter[] = {
      {"(anonymous namespace)", "{anonymous}"},
      {"std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >", "std::string"},
  };
  for (const auto& [long_form, short_form] : shorter) {
    for (std::size_t at; (at = result.find(long_form)) != std::string::npos;) {
      result.replace(at, std::strlen(long_form), short_form);
    }
  }
  // A container's full template arguments say nothing a reader needs here.
  if (result.size() > 100) result = result.substr(0, 97) + "...";
  // The parameters say little here and make the lines long.
  const std::size_t paren = result.find('(');
  return paren == std::string::npos ? result : result.substr(0, paren);
}

std::string ReadWholeFile(const char* path) {
  std::string bytes;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart < (LONGLONG{1} << 30)) {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size()) {
      bytes.clear();
    }
  }
  CloseHandle(file);
  return bytes;
}

bool ReadWord(std::uintptr_t address, std::uintptr_t* word) {
  SIZE_T got = 0;
  return address && ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(address), word,
                                      sizeof *word, &got) && got == sizeof *word;
}

}  // namespace

Sampler::Sampler() {
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &target_,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, 0);
  // This program's functions, from the COFF symbol table its file keeps.
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string image = ReadWholeFile(path);
  const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
  if (image.size() < sizeof(IMAGE_DOS_HEADER)) return;
  IMAGE_DOS_HEADER dos;
  std::memcpy(&dos, image.data(), sizeof dos);
  IMAGE_NT_HEADERS nt;
  if (static_cast<std::size_t>(dos.e_lfanew) + sizeof nt > image.size()) return;
  std::memcpy(&nt, image.data() + dos.e_lfanew, sizeof nt);
  const std::size_t sections_at = static_cast<std::size_t>(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                                  nt.FileHeader.SizeOfOptionalHeader;
  std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
  if (sections_at + sections.size() * sizeof(IMAGE_SECTION_HEADER) > image.size()) return;
  std::memcpy(sections.data(), image.data() + sections_at, sections.size() * sizeof(IMAGE_SECTION_HEADER));
  for (const IMAGE_SECTION_HEADER& section : sections) {
    if (section.Characteristics & IMAGE_SCN_CNT_CODE) {
      code_begin_ = base + section.VirtualAddress;
      code_end_ = code_begin_ + section.Misc.VirtualSize;
    }
  }
  const std::size_t table = nt.FileHeader.PointerToSymbolTable;
  const std::size_t count = nt.FileHeader.NumberOfSymbols;
  constexpr std::size_t kRecord = 18;
  if (!table || table + count * kRecord > image.size()) return;
  const char* strings = image.data() + table + count * kRecord;
  const std::size_t strings_size = image.size() - (table + count * kRecord);
  for (std::size_t i = 0; i < count; ++i) {
    const char* record = image.data() + table + i * kRecord;
    std::uint32_t value;
    std::int16_t section;
    std::uint16_t type;
    std::memcpy(&value, record + 8, 4);
    std::memcpy(&section, record + 12, 2);
    std::memcpy(&type, record + 14, 2);
    const unsigned char aux = static_cast<unsigned char>(record[17]);
    if ((type & 0x30) == 0x20 && section > 0 && static_cast<std::size_t>(section) <= sections.size()) {
      std::string name;
      std::uint32_t zeros;
      std::memcpy(&zeros, record, 4);
      if (zeros == 0) {
        std::uint32_t offset;
        std::memcpy(&offset, record + 4, 4);
        if (offset < strings_size) name = strings + offset;
      } else {
        name.assign(record, strnlen(record, 8));
      }
      symbols_.push_back(Symbol{base + sections[static_cast<std::size_t>(section) - 1].VirtualAddress + value,
                                Demangled(name)});
    }
    i += aux;
  }
  std::sort(symbols_.begin(), symbols_.end(), [](const Symbol& a, const Symbol& b) { return a.address < b.address; });
  thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

Sampler::~Sampler() {
  InterlockedExchange(&quit_, 1);
  if (thread_) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  if (target_) CloseHandle(target_);
}

void Sampler::Start() { InterlockedExchange(&running_, 1); }
void Sampler::Stop() { InterlockedExchange(&running_, 0); }

bool Sampler::FollowsACall(std::uintptr_t address) const {
  // A direct call (E8 and four bytes), or an indirect one (FF /2) of two, three or six bytes.
  if (address < code_begin_ + 6 || address > code_end_) return false;
  const auto* code = reinterpret_cast<const unsigned char*>(address);
  const auto indirect = [](const unsigned char* at) { return at[0] == 0xFF && ((at[1] >> 3) & 7) == 2; };
  return code[-5] == 0xE8 || indirect(code - 2) || indirect(code - 3) || indirect(code - 6);
}

int Sampler::FunctionAt(std::uintptr_t address) const {
  if (address < code_begin_ || address >= code_end_ || symbols_.empty()) return -1;
  const auto after = std::upper_bound(symbols_.begin(), symbols_.end(), address,
                                      [](std::uintptr_t a, const Symbol& s) { return a < s.address; });
  return after == symbols_.begin() ? -1 : static_cast<int>(after - symbols_.begin() - 1);
}

DWORD WINAPI Sampler::Run(void* self) {
  Sampler& sampler = *static_cast<Sampler*>(self);
  // Suspending a thread costs it a round trip to the Wine server or two: a few hundred samples a
  // second leave it most of its time.
  while (!sampler.quit_) {
    Sleep(3);
    if (sampler.running_ && sampler.samples_ < kMostSamples) sampler.Sample();
  }
  return 0;
}

void Sampler::Sample() {
  // Nothing here may take a lock the suspended thread could hold (the heap's above all): the
  // addresses go into a fixed array until it runs again.
  constexpr int kDepth = 64;
  std::uintptr_t addresses[kDepth];
  int depth = 0;
  constexpr int kStackWords = 256;
  std::uintptr_t stack[kStackWords] = {};
  SIZE_T stack_read = 0;
  if (SuspendThread(target_) == static_cast<DWORD>(-1)) return;
  CONTEXT context = {};
  context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
  const bool read = GetThreadContext(target_, &context);
  if (read) {
    addresses[depth++] = context.Eip;
    // A function of this program that called into system code without a frame of its own
    // between: its return address lies near the top of the stack, not in the frame chain.
    if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(context.Esp), stack, sizeof stack,
                           &stack_read)) {
      stack_read = 0;
    }
    std::uintptr_t frame = context.Ebp;
    while (depth < kDepth) {
      std::uintptr_t next = 0;
      std::uintptr_t back = 0;
      if (!ReadWord(frame, &next) || !ReadWord(frame + sizeof(std::uintptr_t), &back) || next <= frame) break;
      addresses[depth++] = back;
      frame = next;
    }
  }
  ResumeThread(target_);
  if (!read) return;
  ++samples_;
  std::set<int> seen;
  bool self_found = false;
  if (FunctionAt(context.Eip) < 0) {
    for (std::size_t i = 0; i < stack_read / sizeof(std::uintptr_t); ++i) {
      if (FunctionAt(stack[i]) >= 0 && FollowsACall(stack[i])) {
        const int function = FunctionAt(stack[i]);
        ++self_[function];
        ++inclusive_[function];
        seen.insert(function);
        self_found = true;
        break;
      }
    }
  }
  for (int i = 0; i < depth; ++i) {
    const std::uintptr_t address = addresses[i];
    const int function = FunctionAt(address);
    if (function < 0) continue;
    if (!self_found) {
      ++self_[function];
      self_found = true;
    }
    if (seen.insert(function).second) ++inclusive_[function];
  }
}

std::vector<Sampler::Share> Sampler::Report(int* samples) const {
  std::vector<Share> shares;
  for (const auto& [function, count] : inclusive_) {
    const auto self = self_.find(function);
    shares.push_back(Share{symbols_[static_cast<std::size_t>(function)].name, count,
                           self == self_.end() ? 0 : self->second});
  }
  std::sort(shares.begin(), shares.end(), [](const Share& a, const Share& b) { return a.inclusive > b.inclusive; });
  *samples = samples_;
  return shares;
}
