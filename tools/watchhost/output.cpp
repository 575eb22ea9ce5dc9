#include "output.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_output_lock;

std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

std::wstring AnsiToWide(const std::string& ansi) {
  if (ansi.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], length);
  }
  return wide;
}

namespace {

std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], length, nullptr, nullptr);
  return utf8;
}

void Write(DWORD which, const std::wstring& wide) {
  const HANDLE stream = GetStdHandle(which);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
  std::lock_guard<std::mutex> lock(g_output_lock);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(stream, &mode)) {
    WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  const std::string utf8 = WideToUtf8(wide);
  for (size_t done = 0; done < utf8.size(); done += written) {
    if (!WriteFile(stream, utf8.data() + done, static_cast<DWORD>(utf8.size() - done), &written, nullptr) ||
        written == 0) {
      return;
    }
  }
}

}  // namespace

void Out(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(STD_OUTPUT_HANDLE, AnsiToWide(VFormat(format, args)));
  va_end(args);
}

void Err(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(STD_ERROR_HANDLE, AnsiToWide(VFormat(format, args)));
  va_end(args);
}

void Stamped(const char* format, ...) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  va_list args;
  va_start(args, format);
  char stamp[16];
  std::snprintf(stamp, sizeof(stamp), "%02u:%02u:%02u ", now.wHour, now.wMinute, now.wSecond);
  Write(STD_OUTPUT_HANDLE, AnsiToWide(stamp + VFormat(format, args)));
  va_end(args);
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  return text;
}

void ErrWide(const std::wstring& text) { Write(STD_ERROR_HANDLE, text); }
