#include "text/bytestring.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text/bytestringblocks.h"
#include "text/codepage.h"
#include "text/mbtext.h"

namespace {

constexpr unsigned char kMaxShares = 255;
constexpr int kFirstFormatSize = 512;
constexpr int kFormatSizeLimit = 0x40000;

// _vsnprintf's contract on a buffer of size + 1 bytes: the byte count when
// the output fits in size bytes (a NUL is not promised), -1 when it does not.
BYTESTRING_PRINTF(3, 0)
int FormatInto(char* buffer, int size, const char* format, va_list args) {
#ifdef _WIN32
  return _vsnprintf(buffer, static_cast<std::size_t>(size), format, args);
#else
  const int written = std::vsnprintf(buffer, static_cast<std::size_t>(size) + 1, format, args);
  return written < 0 || written > size ? -1 : written;
#endif
}

// A trimmable character: one byte long and white space. The byte goes to the
// classifier as a signed char, so bytes from 0x80 up arrive as codes above
// 0xFF and are never space (seen under Wine 8 in code pages 1252 and 932).
bool IsTrimSpace(const char* p) {
  const signed char byte = static_cast<signed char>(*p);
  return CodePageIsSpace(static_cast<unsigned int>(static_cast<int>(byte))) &&
         MbIsSingleByteAt(p, *p);
}

// Length of a NUL-terminated text, or -1 when it is too long to be held.
int MeasureText(const char* text) {
  const std::size_t length = std::strlen(text);
  return length > static_cast<std::size_t>(ByteString::kMaxLength) ? -1 : static_cast<int>(length);
}

}  // namespace

// ---- storage -------------------------------------------------------------

char* ByteString::HeapText() const {
  char* text;
  std::memcpy(&text, raw_, sizeof text);
  return text;
}

unsigned char* ByteString::Block() const { return reinterpret_cast<unsigned char*>(HeapText()) - 1; }

char* ByteString::WritableText() { return IsHeap() ? HeapText() : InlineText(); }

void ByteString::SetHeap(char* text, int length) {
  std::memcpy(raw_, &text, sizeof text);
  raw_[kTagOffset] = kHeapTag;
  SetLength(length);
}

void ByteString::SetLength(int length) {
  if (IsHeap()) {
    const auto value = static_cast<std::uint32_t>(length);
    raw_[kLengthOffset] = static_cast<unsigned char>(value);
    raw_[kLengthOffset + 1] = static_cast<unsigned char>(value >> 8);
    raw_[kLengthOffset + 2] = static_cast<unsigned char>(value >> 16);
  } else {
    raw_[kTagOffset] = static_cast<unsigned char>(kInlineCapacity - length);
  }
}

void ByteString::InitEmpty() {
  std::memset(raw_, 0, sizeof raw_);
  raw_[kTagOffset] = kInlineCapacity;
}

bool ByteString::InitFromBytes(const char* bytes, int length) {
  InitEmpty();
  if (length < 0) return false;
  if (length <= kInlineCapacity) {
    std::memcpy(InlineText(), bytes, static_cast<std::size_t>(length));
    InlineText()[length] = '\0';
    SetLength(length);
    return true;
  }
  if (length > kMaxLength) return false;
  auto* block = static_cast<unsigned char*>(AllocateByteStringBlock(static_cast<std::size_t>(length) + 2));
  if (!block) return false;
  block[0] = 1;
  char* text = reinterpret_cast<char*>(block + 1);
  std::memcpy(text, bytes, static_cast<std::size_t>(length));
  text[length] = '\0';
  SetHeap(text, length);
  return true;
}

void ByteString::ReleaseStorage() {
  if (!IsHeap()) return;
  unsigned char* block = Block();
  if (block[0] <= 1) {
    ReleaseByteStringBlock(block);
  } else {
    --block[0];
  }
}

// Makes room for extra bytes after the content. With set_length the length
// grows and the NUL moves; without (GetBuffer) both stay where they were.
// Null, and the string untouched, when the memory cannot be had.
char* ByteString::Grow(int extra, bool set_length) {
  const int length = Length();
  if (extra < 0 || extra > kMaxLength - length) return nullptr;
  const int new_length = length + extra;
  char* text;
  if (!IsHeap() && new_length <= kInlineCapacity) {
    text = InlineText();
  } else if (IsHeap() && Block()[0] <= 1) {
    void* block = ResizeByteStringBlock(Block(), static_cast<std::size_t>(new_length) + 2);
    if (!block) return nullptr;
    text = static_cast<char*>(block) + 1;
    SetHeap(text, length);
  } else {
    auto* block = static_cast<unsigned char*>(AllocateByteStringBlock(static_cast<std::size_t>(new_length) + 2));
    if (!block) return nullptr;
    block[0] = 1;
    text = reinterpret_cast<char*>(block + 1);
    std::memcpy(text, CStr(), static_cast<std::size_t>(length) + 1);
    ReleaseStorage();
    SetHeap(text, length);
  }
  if (set_length) {
    SetLength(new_length);
    text[new_length] = '\0';
  }
  return text;
}

// ---- lifetime ------------------------------------------------------------

ByteString::ByteString() noexcept { InitEmpty(); }

ByteString::ByteString(const char* text) {
  if (!text || !InitFromBytes(text, MeasureText(text))) InitEmpty();
}

ByteString::ByteString(const char* bytes, int length) {
  if (length == -1 && bytes) length = MeasureText(bytes);
  if (!bytes || length < 0 || !InitFromBytes(bytes, length)) InitEmpty();
}

ByteString::ByteString(const ByteString& other) {
  if (other.IsHeap()) {
    unsigned char* block = other.Block();
    if (block[0] >= kMaxShares) {
      if (!InitFromBytes(other.CStr(), other.Length())) InitEmpty();
      return;
    }
    ++block[0];
  }
  std::memcpy(raw_, other.raw_, sizeof raw_);
}

ByteString::ByteString(ByteString&& other) noexcept {
  std::memcpy(raw_, other.raw_, sizeof raw_);
  other.InitEmpty();
}

ByteString& ByteString::operator=(const ByteString& other) { return Assign(other); }

ByteString& ByteString::operator=(ByteString&& other) noexcept {
  if (this != &other) {
    ReleaseStorage();
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.InitEmpty();
  }
  return *this;
}

ByteString::~ByteString() { ReleaseStorage(); }

void ByteString::Clear() {
  ReleaseStorage();
  InitEmpty();
}

ByteString& ByteString::Assign(const ByteString& other) {
  // The copy is taken before our own storage goes, so self-assignment and
  // assignment from a string sharing our block are safe.
  ByteString copy(other);
  Swap(copy);
  return *this;
}

ByteString& ByteString::Assign(const char* text) {
  ByteString copy(text);
  Swap(copy);
  return *this;
}

void ByteString::Swap(ByteString& other) noexcept {
  unsigned char held[kValueSize];
  std::memcpy(held, raw_, sizeof raw_);
  std::memcpy(raw_, other.raw_, sizeof raw_);
  std::memcpy(other.raw_, held, sizeof raw_);
}

// ---- queries -------------------------------------------------------------

int ByteString::Length() const {
  if (!IsHeap()) return kInlineCapacity - raw_[kTagOffset];
  return raw_[kLengthOffset] | (raw_[kLengthOffset + 1] << 8) | (raw_[kLengthOffset + 2] << 16);
}

bool ByteString::IsEmpty() const { return Length() == 0; }

const char* ByteString::CStr() const {
  return IsHeap() ? HeapText() : reinterpret_cast<const char*>(raw_ + kInlineOffset);
}

int ByteString::ReverseFind(char byte) const {
  const char* found = MbFindLastChar(CStr(), byte);
  return found ? static_cast<int>(found - CStr()) : -1;
}

int ByteString::CountFields(char separator) const {
  // A NUL separator would be "found" at the terminator, and stepping past
  // that reads beyond the text.
  if (separator == '\0') return 1;
  int fields = 1;
  for (const char* p = MbFindChar(CStr(), separator); p; p = MbFindChar(MbNext(p), separator)) ++fields;
  return fields;
}

ByteString ByteString::Field(char separator, int index) const {
  const char* start = CStr();
  if (separator == '\0') return index <= 1 ? ByteString(*this) : ByteString();
  for (int k = 1; k < index; ++k) {
    const char* found = MbFindChar(start, separator);
    if (!found) return ByteString();
    start = MbNext(found);
    if (*start == '\0') return ByteString();
  }
  const char* end = MbFindChar(start, separator);
  return ByteString(start, end ? static_cast<int>(end - start) : -1);
}

ByteString ByteString::Left(int count) const {
  if (count < 0) count = 0;
  return ByteString(CStr(), count < Length() ? count : Length());
}

ByteString ByteString::Mid(int start, int count) const {
  const int length = Length();
  if (start < 0) start = 0;
  if (start > length) start = length;
  if (count < 0) count = 0;
  if (count > length - start) count = length - start;
  return ByteString(CStr() + start, count);
}

ByteString ByteString::Concat(const ByteString& text, char byte) {
  ByteString result(text);
  if (result.Length() != text.Length() || !result.Append(byte)) result.Clear();
  return result;
}

ByteString ByteString::Concat(const ByteString& text, const char* tail) {
  ByteString result(text);
  if (result.Length() != text.Length() || !result.Append(tail)) result.Clear();
  return result;
}

// ---- changes -------------------------------------------------------------

bool ByteString::AppendBytes(const char* bytes, int count) {
  char* text = Grow(count, true);
  if (!text) return false;
  std::memcpy(text + Length() - count, bytes, static_cast<std::size_t>(count));
  return true;
}

bool ByteString::Append(const char* bytes, int count) {
  if (!bytes || count <= 0) return true;
  const auto source = reinterpret_cast<std::uintptr_t>(bytes);
  const auto own = reinterpret_cast<std::uintptr_t>(CStr());
  if (source >= own && source <= own + static_cast<std::uintptr_t>(Length())) {
    // Growing may move or overwrite our own text: append from a copy.
    ByteString copy(bytes, count);
    return copy.Length() == count && AppendBytes(copy.CStr(), count);
  }
  return AppendBytes(bytes, count);
}

bool ByteString::Append(const char* text) {
  if (!text) return true;
  const int length = MeasureText(text);
  return length >= 0 && Append(text, length);
}

bool ByteString::Append(char byte) { return Append(&byte, 1); }

bool ByteString::Append(const ByteString& other) { return Append(other.CStr(), other.Length()); }

bool ByteString::MakeUnique() {
  if (!IsHeap() || Block()[0] <= 1) return true;
  ByteString own;
  if (!own.InitFromBytes(CStr(), Length())) return false;
  Swap(own);
  return true;
}

char* ByteString::GetBuffer(int count) {
  if (count > Length()) return Grow(count - Length(), false);
  return MakeUnique() ? WritableText() : nullptr;
}

void ByteString::ReleaseBuffer(int length) {
  if (!MakeUnique()) return;
  char* text = WritableText();
  if (!IsHeap()) {
    // The inline room ends at the tag byte; never measure past it.
    if (length < 0 || length > kInlineCapacity) {
      const void* nul = std::memchr(text, '\0', kInlineCapacity + 1);
      length = nul ? static_cast<int>(static_cast<const char*>(nul) - text) : kInlineCapacity;
    }
  } else if (length < 0) {
    length = static_cast<int>(std::strlen(text));
  }
  text[length] = '\0';
  SetLength(length);
}

int ByteString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = FormatV(format, args);
  va_end(args);
  return result;
}

int ByteString::FormatV(const char* format, va_list args) {
  if (!format) return -1;
  // Formatting into a separate string keeps ours intact on failure, and lets
  // the arguments point into our own text.
  ByteString out;
  int size = kFirstFormatSize;
  int result = -1;
  do {
    char* buffer = out.GetBuffer(size);
    if (!buffer) return -1;
    va_list attempt;
    va_copy(attempt, args);
    result = FormatInto(buffer, size, format, attempt);
    va_end(attempt);
    buffer[size] = '\0';
    out.ReleaseBuffer(-1);
    if (result >= size) {
      size = result + 1;  // filled exactly, with no room left for the NUL
    } else {
      size *= 4;
      if (result >= 0) break;
    }
  } while (size < kFormatSizeLimit);
  Swap(out);
  return result;
}

void ByteString::TrimLeft() {
  if (!MakeUnique()) return;
  char* text = WritableText();
  char* p = text;
  while (*p && IsTrimSpace(p)) p = MbNext(p);
  const int skipped = static_cast<int>(p - text);
  if (skipped == 0) return;
  const int length = Length() - skipped;
  std::memmove(text, p, static_cast<std::size_t>(length) + 1);
  SetLength(length);
}

void ByteString::TrimRight() {
  if (!MakeUnique()) return;
  char* text = WritableText();
  char* run = nullptr;
  for (char* p = text; *p; p = MbNext(p)) {
    if (IsTrimSpace(p)) {
      if (!run) run = p;
    } else {
      run = nullptr;
    }
  }
  if (!run) return;
  *run = '\0';
  SetLength(static_cast<int>(run - text));
}

void ByteString::MakeLower() {
  if (!MakeUnique()) return;
  CodePageLowerInPlace(WritableText());
}

bool ByteString::Replace(const char* pattern, const char* replacement, bool all) {
  if (!pattern || !replacement || !*pattern) return false;
  const int pattern_length = static_cast<int>(std::strlen(pattern));
  // Our own text stays untouched until the swap, so pattern and replacement
  // may point into it.
  const char* text = CStr();
  const int length = Length();
  int done = 0;
  ByteString result;
  bool replaced = false;
  while (const char* match = MbFindString(text + done, pattern)) {
    const int before = static_cast<int>(match - (text + done));
    if (!result.Append(text + done, before) || !result.Append(replacement)) return false;
    done += before + pattern_length;
    replaced = true;
    if (!all) break;
  }
  if (!replaced || !result.Append(text + done, length - done)) return false;
  Swap(result);
  return true;
}

// ---- inspection ----------------------------------------------------------

bool ByteString::IsInlineForm() const { return !IsHeap(); }

unsigned char ByteString::TagByte() const { return raw_[kTagOffset]; }

int ByteString::ShareCount() const { return IsHeap() ? Block()[0] : 0; }

const void* ByteString::HeapBlock() const { return IsHeap() ? Block() : nullptr; }
