// The call-stack walk with its section:offset and symbol look-ups, and the register dump.
#include "crashlog/crashreportwriter.h"

#include <dbghelp.h>

#include <cstring>

#include "text/mbtext.h"

static_assert(sizeof(IMAGEHLP_SYMBOL) == 24, "the 32-bit IMAGEHLP_SYMBOL is 24 bytes");
static_assert(sizeof(IMAGEHLP_LINE) == 20, "the 32-bit IMAGEHLP_LINE is 20 bytes");
static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 28, "MEMORY_BASIC_INFORMATION is 28 bytes");

namespace {

constexpr DWORD kMaxSymbolName = 1024;

template <typename Value>
Value ReadAt(const BYTE* at) {
  Value value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace

bool CrashReportWriter::FindModuleSection(DWORD address, char* name, DWORD name_size, DWORD* section,
                                          DWORD* offset) noexcept {
  if (name == nullptr || name_size == 0 || section == nullptr || offset == nullptr) return false;
  MEMORY_BASIC_INFORMATION region;
  std::memset(&region, 0, sizeof region);
  if (VirtualQuery(reinterpret_cast<const void*>(static_cast<std::size_t>(address)), &region,
                   sizeof region) == 0 ||
      region.AllocationBase == nullptr) {
    return false;
  }
  if (GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), name, name_size) == 0) return false;
  name[name_size - 1] = '\0';

  // The image headers of a loaded module; checked before they are read all the same, since a
  // module can be unloaded by another thread while the report runs.
  const BYTE* base = static_cast<const BYTE*>(region.AllocationBase);
  if (IsBadReadPtr(base, 0x40)) return false;
  const LONG headers_offset = ReadAt<LONG>(base + 0x3C);
  if (headers_offset <= 0) return false;
  const BYTE* headers = base + headers_offset;
  if (IsBadReadPtr(headers, 24)) return false;
  const WORD section_count = ReadAt<WORD>(headers + 6);
  const WORD optional_size = ReadAt<WORD>(headers + 20);
  const BYTE* table = headers + 24 + optional_size;
  if (IsBadReadPtr(table, static_cast<UINT_PTR>(section_count) * 40)) return false;

  const DWORD relative = address - static_cast<DWORD>(reinterpret_cast<std::size_t>(base));
  for (WORD i = 0; i < section_count; ++i) {
    const BYTE* entry = table + static_cast<std::size_t>(i) * 40;
    const DWORD virtual_size = ReadAt<DWORD>(entry + 8);
    const DWORD virtual_address = ReadAt<DWORD>(entry + 12);
    const DWORD raw_size = ReadAt<DWORD>(entry + 16);
    const DWORD extent = virtual_size > raw_size ? virtual_size : raw_size;
    if (relative >= virtual_address && relative - virtual_address <= extent) {
      *section = i + 1u;
      *offset = relative - virtual_address;
      return true;
    }
  }
  return false;
}

void CrashReportWriter::WriteStackLine(DWORD address, HMODULE debug_help) noexcept {
  char module_path[1024];
  std::memset(module_path, 0, sizeof module_path);
  DWORD section = 0;
  DWORD offset = 0;
  FindModuleSection(address, module_path, sizeof module_path, &section, &offset);
  const char* separator = MbFindLastChar(module_path, '\\');
  const char* module_name = separator != nullptr ? separator + 1 : module_path;

  const char* function = "";
  alignas(IMAGEHLP_SYMBOL) unsigned char symbol_space[sizeof(IMAGEHLP_SYMBOL) + kMaxSymbolName];
  std::memset(symbol_space, 0, sizeof symbol_space);
  auto symbol_from_address = FindFunction<decltype(::SymGetSymFromAddr)>(debug_help, "SymGetSymFromAddr");
  if (symbol_from_address != nullptr) {
    IMAGEHLP_SYMBOL* symbol = reinterpret_cast<IMAGEHLP_SYMBOL*>(symbol_space);
    symbol->SizeOfStruct = sizeof(IMAGEHLP_SYMBOL);
    symbol->MaxNameLength = kMaxSymbolName;
    DWORD displacement = 0;
    if (symbol_from_address(GetCurrentProcess(), address, &displacement, symbol)) {
      symbol_space[sizeof symbol_space - 1] = 0;
      function = reinterpret_cast<const char*>(symbol_space + offsetof(IMAGEHLP_SYMBOL, Name));
    }
  }

  const char* file = "Unknown";
  DWORD line_number = 0;
  auto line_from_address = FindFunction<decltype(::SymGetLineFromAddr)>(debug_help, "SymGetLineFromAddr");
  if (line_from_address != nullptr) {
    IMAGEHLP_LINE line;
    std::memset(&line, 0, sizeof line);
    line.SizeOfStruct = sizeof line;
    DWORD displacement = 0;
    if (line_from_address(GetCurrentProcess(), address, &displacement, &line)) {
      line_number = line.LineNumber;
      if (line.FileName != nullptr) file = line.FileName;
    }
  }
  Print("%08lX%13lX:%-17lX %-20s%s | %s(%lu)\r\n", address, section, offset, module_name, function, file,
        line_number);
}

void CrashReportWriter::WriteCallStack(const CONTEXT* context) noexcept {
  if (context == nullptr) return;
  Print("%-20s%-20s%-20s%-20s\r\n", "Address", "Section:Offset", "ModuleName", "FunctionName | FileName(Line#)");
  HMODULE debug_help = debug_help_.Get();
  DWORD address = context->Eip;
  DWORD frame = context->Ebp;
  // The context's own frame pointer may point anywhere (a function built without frame
  // pointers uses Ebp as a plain register): it is checked before its two words are read.
  bool frame_readable = frame != 0 && !IsBadReadPtr(reinterpret_cast<const void*>(static_cast<std::size_t>(frame)), 8);
  // A deep recursion (a stack overflow) would otherwise list every frame: the first
  // kMaxStackFrames are listed, the rest only counted.
  unsigned long frames = 0;
  for (;;) {
    if (frames < kMaxStackFrames) WriteStackLine(address, debug_help);
    ++frames;
    if (!frame_readable) break;
    const DWORD* words = reinterpret_cast<const DWORD*>(static_cast<std::size_t>(frame));
    const DWORD next_address = words[1];
    const DWORD next_frame = words[0];
    // Callers' frames lie higher up the same stack; anything else ends the walk.
    if (next_frame % 4 != 0 || next_frame <= frame ||
        IsBadWritePtr(reinterpret_cast<void*>(static_cast<std::size_t>(next_frame)), 8)) {
      break;
    }
    address = next_address;
    frame = next_frame;
  }
  if (frames > kMaxStackFrames) Print("%lu more frames left out\r\n", frames - kMaxStackFrames);
}

void CrashReportWriter::WriteRegisters(const CONTEXT* context) noexcept {
  if (context == nullptr) return;
  Print("Registers:\r\n");
  Print("EAX=%08lX EBX=%08lX ECX=%08lX EDX=%08lX ESI=%08lX EDI=%08lX \r\n", context->Eax, context->Ebx,
        context->Ecx, context->Edx, context->Esi, context->Edi);
  Print("EIP=%08lX ESP=%08lX EBP=%08lX\r\n", context->Eip, context->Esp, context->Ebp);
  Print("CS=%08lX SS=%08lX DS=%08lX ES=%08lX FS=%08lX GS=%08lX\r\n", context->SegCs, context->SegSs,
        context->SegDs, context->SegEs, context->SegFs, context->SegGs);
  Print("EFL=%08lX\r\n", context->EFlags);
}
