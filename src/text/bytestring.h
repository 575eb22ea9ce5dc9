// ByteString: the module's owned, NUL-terminated string of bytes in the ANSI
// code page, used wherever paths and settings text are built or taken apart.
//
// Cost: the value is two 32-bit words in the 32-bit build. Up to 7 bytes live
// inside the value and never touch the heap. Longer text lives in a heap
// block (one share-count byte, the bytes, a NUL) of exactly length + 2 bytes,
// shared by copies until one of them changes; a block is shared by at most
// 255 values, further copies are deep. Appends resize to the exact new size.
// Searches and trims step by character under a double-byte code page, so a
// trail byte is never found, split on or trimmed.
//
// Failure: nothing throws and nothing is reported. When memory cannot be had
// (or a length would pass 16,777,215 bytes) the operation leaves the string
// as it was: Append and Replace return false, MakeUnique returns false and
// the changing operations that need it do nothing, GetBuffer returns null,
// Format returns -1. Operations that produce a new string (copies beyond the
// 255th, Left, Mid, Field, Concat) produce the empty string instead.
//
// Not thread-safe: a string and every copy sharing its block belong to one
// thread at a time.
#pragma once

#include <cstdarg>
#include <cstddef>

#if defined(__MINGW32__)
#define BYTESTRING_PRINTF(fmt, args) __attribute__((format(ms_printf, fmt, args)))
#elif defined(__GNUC__)
#define BYTESTRING_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define BYTESTRING_PRINTF(fmt, args)
#endif

class ByteString {
 public:
  static constexpr int kInlineCapacity = 7;
  static constexpr int kMaxLength = 0xFFFFFF;

  ByteString() noexcept;
  // NUL-terminated text; null gives the empty string.
  explicit ByteString(const char* text);
  // length bytes of bytes; -1 measures up to the NUL. A null source or any
  // other negative length gives the empty string.
  ByteString(const char* bytes, int length);
  ByteString(const ByteString& other);
  ByteString(ByteString&& other) noexcept;
  ByteString& operator=(const ByteString& other);
  ByteString& operator=(ByteString&& other) noexcept;
  ~ByteString();

  void Clear();
  ByteString& Assign(const ByteString& other);
  ByteString& Assign(const char* text);
  void Swap(ByteString& other) noexcept;

  int Length() const;
  bool IsEmpty() const;
  const char* CStr() const;

  // Index of the last one-byte character equal to the byte, or -1.
  int ReverseFind(char byte) const;
  // 1 + the number of separators; the empty string has one field.
  int CountFields(char separator) const;
  // Field number index counted from 1 (0 and below count as 1); empty when
  // there is no such field.
  ByteString Field(char separator, int index) const;
  // The first count bytes, clamped to the string.
  ByteString Left(int count) const;
  // count bytes from start, both clamped to the string.
  ByteString Mid(int start, int count) const;
  static ByteString Concat(const ByteString& text, char byte);
  static ByteString Concat(const ByteString& text, const char* tail);

  // Appends return false (string unchanged) when memory runs out. A source
  // inside this string's own text is copied first, so s.Append(s) works.
  bool Append(const char* bytes, int count);
  bool Append(const char* text);  // null appends nothing
  bool Append(char byte);
  bool Append(const ByteString& other);

  // Gives this string a block of its own (inline when 7 bytes or fewer).
  bool MakeUnique();
  // Writable text with room for count bytes and a NUL; the length stays as it
  // was until ReleaseBuffer. Null when memory runs out.
  char* GetBuffer(int count);
  // Takes the new length (negative: up to the first NUL) and terminates there.
  // length must not exceed the room asked for with GetBuffer.
  void ReleaseBuffer(int length = -1);

  // printf-style, replacing the content. Returns the byte count written, or
  // -1 when the output passed 131,072 bytes (the string keeps the first
  // 131,072) or could not be formatted at all (the string is unchanged).
  int Format(const char* format, ...) BYTESTRING_PRINTF(2, 3);
  int FormatV(const char* format, va_list args) BYTESTRING_PRINTF(2, 0);

  void TrimLeft();
  void TrimRight();
  // Lower-cases through the code page; double-byte characters keep their bytes.
  void MakeLower();
  // Replaces the first occurrence (every one when all) of a non-empty pattern.
  // True when something was replaced.
  bool Replace(const char* pattern, const char* replacement, bool all);

  // Storage inspection, for tests and diagnostics.
  bool IsInlineForm() const;
  unsigned char TagByte() const;
  // Values sharing the heap block; 0 for the inline form.
  int ShareCount() const;
  // Start of the heap block (the share-count byte); null for the inline form.
  const void* HeapBlock() const;

 private:
  static constexpr std::size_t kPointerSize = sizeof(char*);
  static constexpr std::size_t kValueSize = kPointerSize + 4;
  static constexpr std::size_t kInlineOffset = kValueSize - 8;
  static constexpr std::size_t kLengthOffset = kPointerSize;
  static constexpr std::size_t kTagOffset = kValueSize - 1;
  static constexpr unsigned char kHeapTag = 0xFF;

  bool IsHeap() const { return raw_[kTagOffset] == kHeapTag; }
  char* HeapText() const;
  unsigned char* Block() const;
  char* InlineText() { return reinterpret_cast<char*>(raw_ + kInlineOffset); }
  char* WritableText();
  void SetHeap(char* text, int length);
  void SetLength(int length);
  void InitEmpty();
  bool InitFromBytes(const char* bytes, int length);
  void ReleaseStorage();
  char* Grow(int extra, bool set_length);
  bool AppendBytes(const char* bytes, int count);

  // Inline: text in bytes kInlineOffset..kTagOffset-1, tag = 7 - length.
  // Heap: text pointer at 0, 24-bit length (low byte first), tag 0xFF.
  unsigned char raw_[kValueSize];
};

// Two 32-bit words wherever pointers are 32 bits (the plug-in's own build).
static_assert(sizeof(char*) != 4 || sizeof(ByteString) == 8, "ByteString must be two 32-bit words");

