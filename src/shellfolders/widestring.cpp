#include "shellfolders/widestring.h"

#include <windows.h>

#include <cwchar>

#include "shellfolders/stringheapmanager.h"

namespace {

// A block for count units and a terminator; null when count is out of range or memory is out.
wchar_t* AllocateUnits(int count) {
  if (count < 0 || count > WideString::kMaxLength) return nullptr;
  const std::size_t bytes = (static_cast<std::size_t>(count) + 1) * sizeof(wchar_t);
  return static_cast<wchar_t*>(AllocateStringBlock(bytes));
}

}  // namespace

WideString::WideString(const wchar_t* text) { Assign(text); }

WideString::WideString(const WideString& other) { Assign(other); }

WideString::WideString(WideString&& other) noexcept { Swap(other); }

WideString& WideString::operator=(const WideString& other) {
  Assign(other);
  return *this;
}

WideString& WideString::operator=(WideString&& other) noexcept {
  if (this != &other) {
    Clear();
    Swap(other);
  }
  return *this;
}

WideString::~WideString() { Clear(); }

bool WideString::Assign(const wchar_t* text) {
  if (!text) {
    Clear();
    return true;
  }
  const std::size_t length = std::wcslen(text);
  if (length > static_cast<std::size_t>(kMaxLength)) return false;
  return Assign(text, static_cast<int>(length));
}

bool WideString::Assign(const wchar_t* text, int length) {
  if (length < 0 || length > kMaxLength || (!text && length > 0)) return false;
  if (length == 0) {
    Clear();
    return true;
  }
  // The source may lie inside this string's own block: copy before releasing it.
  wchar_t* block = AllocateUnits(length);
  if (!block) return false;
  std::wmemcpy(block, text, static_cast<std::size_t>(length));
  block[length] = L'\0';
  Clear();
  text_ = block;
  length_ = capacity_ = length;
  return true;
}

bool WideString::Assign(const WideString& other) {
  if (this == &other) return true;
  return Assign(other.text_, other.length_);
}

void WideString::Clear() noexcept {
  ReleaseStringBlock(text_);
  text_ = nullptr;
  length_ = capacity_ = 0;
}

void WideString::Swap(WideString& other) noexcept {
  wchar_t* const text = text_;
  const int length = length_;
  const int capacity = capacity_;
  text_ = other.text_;
  length_ = other.length_;
  capacity_ = other.capacity_;
  other.text_ = text;
  other.length_ = length;
  other.capacity_ = capacity;
}

wchar_t* WideString::GetBuffer(int count) {
  wchar_t* block = AllocateUnits(count);
  if (!block) return nullptr;
  std::wmemset(block, L'\0', static_cast<std::size_t>(count) + 1);
  Clear();
  text_ = block;
  capacity_ = count;
  return block;
}

void WideString::ReleaseBuffer(int length) noexcept {
  if (!text_) return;
  if (length < 0 || length > capacity_) {
    int measured = 0;
    while (measured < capacity_ && text_[measured] != L'\0') ++measured;
    length = length < 0 ? measured : capacity_;
  }
  text_[length] = L'\0';
  length_ = length;
}

bool AnsiToWide(const char* text, WideString& out) {
  if (!text || !*text) {
    out.Clear();
    return true;
  }
  // The first call counts the units with the terminator.
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 1) return false;
  WideString result;
  wchar_t* buffer = result.GetBuffer(units - 1);
  if (!buffer) return false;
  const int written = MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, units);
  if (written <= 0) return false;
  result.ReleaseBuffer(written - 1);
  out.Swap(result);
  return true;
}

bool WideToAnsi(const wchar_t* text, ByteString& out) {
  if (!text || !*text) {
    out.Clear();
    return true;
  }
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return false;
  ByteString result;
  char* buffer = result.GetBuffer(bytes - 1);
  if (!buffer) return false;
  // The buffer has bytes - 1 bytes and a NUL: exactly what the first call asked for.
  const int written = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, bytes, nullptr, nullptr);
  if (written <= 0) return false;
  result.ReleaseBuffer(written - 1);
  out.Swap(result);
  return true;
}
