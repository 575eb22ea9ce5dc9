// WideString: an owned, NUL-terminated UTF-16 string for the paths that come from or go to the
// shell and the UTF-16 registry functions, and its conversions to and from ANSI text.
//
// Cost: a pointer, a length and a capacity; the empty string holds no block. Each non-empty
// string owns one block from the string heap (see stringheapmanager.h) of exactly its units
// plus a terminator; copies are deep.
//
// Conversions always go through the active ANSI code page (CP_ACP) with the platform's default
// flags, so a character the code page cannot represent comes out as its default character.
//
// Failure: nothing throws. When memory cannot be had, or a length passes kMaxLength, an
// operation that answers bool answers false and leaves its target exactly as it was; a copy
// constructor gives the empty string. Not thread-safe: one string belongs to one thread.
#pragma once

#include "text/bytestring.h"

class WideString {
 public:
  static constexpr int kMaxLength = 0x3FFFFFFE;

  WideString() noexcept = default;
  // NUL-terminated text; null (or no memory) gives the empty string.
  explicit WideString(const wchar_t* text);
  WideString(const WideString& other);
  WideString(WideString&& other) noexcept;
  // Keeps the old text when memory runs out.
  WideString& operator=(const WideString& other);
  WideString& operator=(WideString&& other) noexcept;
  ~WideString();

  // Null gives the empty string.
  bool Assign(const wchar_t* text);
  // Exactly length units of text (NULs included), then a terminator.
  bool Assign(const wchar_t* text, int length);
  bool Assign(const WideString& other);
  void Clear() noexcept;
  void Swap(WideString& other) noexcept;

  int Length() const noexcept { return length_; }
  bool IsEmpty() const noexcept { return length_ == 0; }
  // Never null: the empty string gives L"".
  const wchar_t* CStr() const noexcept { return text_ ? text_ : L""; }

  // A fresh, zero-filled buffer with room for count units and a terminator; the old text is
  // gone. Null (string unchanged) when memory runs out or count is out of range.
  wchar_t* GetBuffer(int count);
  // Takes the length (negative: up to the first NUL), clamped to the buffer, and terminates.
  void ReleaseBuffer(int length = -1) noexcept;

 private:
  wchar_t* text_ = nullptr;
  int length_ = 0;
  int capacity_ = 0;  // units the block holds before its terminator
};

// ANSI text (null counts as empty) to UTF-16. False leaves the output untouched.
bool AnsiToWide(const char* text, WideString& out);
// UTF-16 text (null counts as empty) to ANSI. False leaves the output untouched.
bool WideToAnsi(const wchar_t* text, ByteString& out);
