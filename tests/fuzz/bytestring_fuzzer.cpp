// Random sequences of ByteString operations on a few values at once, each
// value checked against a std::string after every step: its bytes, its
// length, its storage form, and that every heap block's share count equals
// the number of values holding it. Sources may lie inside the value being
// changed (self-append, a pattern taken from the string's own text). Some
// inputs switch the code page to the double-byte stand-in, some make chosen
// allocations fail: a failed change must leave its string as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "text/bytestring.h"
#include "text/bytestringblocks.h"
#include "text/mbtext.h"

namespace {

using fuzzmodel::CharStarts;
using fuzzmodel::CView;
using fuzzmodel::IsSingleByteChar;
using fuzzmodel::IsSpaceByte;

constexpr int kSlots = 4;
constexpr int kMaxSteps = 64;
constexpr std::size_t kFormatKeeps = 131072;
// Appends that would pass 64 KB are skipped and Replace works on texts of
// 1 KB at most, so one input stays fast. Format and GetBuffer still make
// values of up to 131,072 bytes, which need all three bytes of the length
// field; the 16 MB limit itself is checked through GetBuffer, which refuses
// without allocating.
constexpr std::size_t kLongest = 1 << 16;
constexpr std::size_t kLongestReplaced = 1024;

// ---- allocation failures on demand ----------------------------------------

// While armed, each allocate or resize takes the next bit of the mask and
// fails when it is set.
struct FailurePlan {
  bool armed = false;
  std::uint32_t mask = 0;
  int failures = 0;
};

FailurePlan g_plan;

bool NextAllocationFails() {
  if (!g_plan.armed) return false;
  const bool fail = (g_plan.mask & 1u) != 0;
  g_plan.mask >>= 1;
  if (fail) ++g_plan.failures;
  return fail;
}

}  // namespace

// The harness's own heap functions behind ByteString (the linker leaves the library's out): they
// fail as the plan says while it is armed.
void* AllocateByteStringBlock(std::size_t size) { return NextAllocationFails() ? nullptr : std::malloc(size); }
void* ResizeByteStringBlock(void* block, std::size_t size) {
  return NextAllocationFails() ? nullptr : std::realloc(block, size);
}
void ReleaseByteStringBlock(void* block) { std::free(block); }

namespace {

// ---- the model ---------------------------------------------------------------

FUZZ_MODEL int ModelReverseFind(const std::string& content, char byte, bool doubleByte) {
  const std::string text = CView(content);
  if (byte == '\0') return static_cast<int>(text.size());
  const std::vector<char> starts = CharStarts(text, doubleByte);
  int last = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsSingleByteChar(starts, i) && text[i] == byte) last = static_cast<int>(i);
  }
  return last;
}

FUZZ_MODEL std::vector<std::string> ModelFields(const std::string& content, char separator, bool doubleByte) {
  const std::string text = CView(content);
  const std::vector<char> starts = CharStarts(text, doubleByte);
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsSingleByteChar(starts, i) && text[i] == separator) {
      fields.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  fields.push_back(text.substr(start));
  return fields;
}

FUZZ_MODEL int ModelCountFields(const std::string& content, char separator, bool doubleByte) {
  if (separator == '\0') return 1;
  return static_cast<int>(ModelFields(content, separator, doubleByte).size());
}

FUZZ_MODEL std::string ModelField(const std::string& content, char separator, int index, bool doubleByte) {
  if (separator == '\0') return index <= 1 ? content : std::string();
  const std::vector<std::string> fields = ModelFields(content, separator, doubleByte);
  const std::size_t k = index < 1 ? 1 : static_cast<std::size_t>(index);
  return k <= fields.size() ? fields[k - 1] : std::string();
}

FUZZ_MODEL std::string ModelTrimLeft(const std::string& content) {
  std::size_t i = 0;
  while (i < content.size() && content[i] != '\0' && IsSpaceByte(content[i])) ++i;
  return content.substr(i);
}

// Only the text before the first NUL is walked; a trailing run of one-byte
// spaces there ends the string.
FUZZ_MODEL std::string ModelTrimRight(const std::string& content, bool doubleByte) {
  const std::string text = CView(content);
  const std::vector<char> starts = CharStarts(text, doubleByte);
  std::size_t run = std::string::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!starts[i]) continue;
    if (IsSingleByteChar(starts, i) && IsSpaceByte(text[i])) {
      if (run == std::string::npos) run = i;
    } else {
      run = std::string::npos;
    }
  }
  return run == std::string::npos ? content : text.substr(0, run);
}

FUZZ_MODEL std::string ModelLower(const std::string& content, bool doubleByte) {
  std::string lowered = content;
  const std::string text = CView(content);
  const std::vector<char> starts = CharStarts(text, doubleByte);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsSingleByteChar(starts, i) && text[i] >= 'A' && text[i] <= 'Z') lowered[i] = static_cast<char>(text[i] - 'A' + 'a');
  }
  return lowered;
}

// First match at or after from that starts and ends on character boundaries.
FUZZ_MODEL std::size_t ModelFind(const std::string& text, const std::string& pattern, std::size_t from, bool doubleByte) {
  const std::vector<char> starts = CharStarts(text, doubleByte);
  for (std::size_t i = from; i < text.size(); ++i) {
    if (!starts[i] || i + pattern.size() > text.size()) continue;
    if (text.compare(i, pattern.size(), pattern) == 0 && starts[i + pattern.size()]) return i;
  }
  return std::string::npos;
}

// Searches the text before the first NUL; the bytes after the last match are
// kept whole.
FUZZ_MODEL std::pair<bool, std::string> ModelReplace(const std::string& content, const char* pattern, const char* replacement,
                                          bool all, bool doubleByte) {
  if (!pattern || !replacement || !*pattern) return {false, content};
  const std::string text = CView(content);
  const std::string wanted(pattern);
  std::string out;
  std::size_t done = 0;
  bool replaced = false;
  for (std::size_t at; (at = ModelFind(text, wanted, done, doubleByte)) != std::string::npos;) {
    out.append(content, done, at - done);
    out += replacement;
    done = at + wanted.size();
    replaced = true;
    if (!all) break;
  }
  if (!replaced) return {false, content};
  out.append(content, done, std::string::npos);
  return {true, out};
}

FUZZ_MODEL __attribute__((format(printf, 1, 2))) std::string Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out(static_cast<std::size_t>(size < 0 ? 0 : size) + 1, '\0');
  std::vsnprintf(&out[0], out.size(), format, again);
  va_end(again);
  out.pop_back();
  return out;
}

int FormatWithNoFormat(ByteString* s, ...) {
  va_list args;
  va_start(args, s);
  const char* volatile none = nullptr;
  // A null format on purpose: FormatV must refuse it without touching the string.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int result = s->FormatV(none, args);
#pragma GCC diagnostic pop
  va_end(args);
  return result;
}

// ---- checks ------------------------------------------------------------------

FUZZ_MODEL std::string Content(const ByteString& s) { return std::string(s.CStr(), static_cast<std::size_t>(s.Length())); }

FUZZ_MODEL void CheckForm(const ByteString& s) {
  FUZZ_CHECK(s.Length() >= 0 && s.Length() <= ByteString::kMaxLength);
  FUZZ_CHECK(s.CStr()[s.Length()] == '\0');
  FUZZ_CHECK(s.IsEmpty() == (s.Length() == 0));
  if (s.IsInlineForm()) {
    FUZZ_CHECK(s.Length() <= ByteString::kInlineCapacity);
    FUZZ_CHECK(s.TagByte() == ByteString::kInlineCapacity - s.Length());
    FUZZ_CHECK(s.ShareCount() == 0 && s.HeapBlock() == nullptr);
  } else {
    FUZZ_CHECK(s.TagByte() == 0xFF);
    FUZZ_CHECK(s.ShareCount() >= 1 && s.ShareCount() <= 255);
    FUZZ_CHECK(s.HeapBlock() == s.CStr() - 1);
  }
}

FUZZ_MODEL void CheckValue(const ByteString& s, const std::string& want) {
  CheckForm(s);
  FUZZ_CHECK(s.Length() == static_cast<int>(want.size()));
  FUZZ_CHECK(std::memcmp(s.CStr(), want.data(), want.size()) == 0);
}

// A new string of 7 bytes or fewer never touches the heap.
void CheckBuiltInline(const ByteString& s) {
  FUZZ_CHECK(s.Length() > ByteString::kInlineCapacity || s.IsInlineForm());
}

class Rig {
 public:
  explicit Rig(FuzzedDataProvider& in) : in_(in) {}

  void Run() {
    doubleByte_ = in_.ConsumeBool();
    UseCodePageStandIn932(doubleByte_);
    for (int step = 0; step < kMaxSteps && in_.remaining_bytes() > 0; ++step) {
      Step();
      CheckAll();
    }
    UseCodePageStandIn932(false);
  }

 private:
  enum Op {
    kAssignText, kAssignBytes, kCopy, kAssignSlot, kAssignOwnText, kMove, kSwap, kClear,
    kAppendBytes, kAppendText, kAppendByte, kAppendSlot, kMakeUnique, kBuffer, kReleaseOnly, kFormat,
    kFields, kLeftMid, kConcat, kTrimLeft, kTrimRight, kMakeLower, kReplace, kReverseFind,
    kManyCopies, kSwitchCodePage, kFailNext, kOpCount
  };

  int Slot() { return in_.ConsumeIntegralInRange<int>(0, kSlots - 1); }
  std::string Text(std::size_t max) { return in_.ConsumeRandomLengthString(max); }

  char Byte() {
    static const char kBytes[] = {'\\', '/', ',', ' ', '\t', 'a', 'A', '\0'};
    return in_.ConsumeBool() ? kBytes[in_.ConsumeIntegralInRange<std::size_t>(0, sizeof kBytes - 1)]
                             : static_cast<char>(in_.ConsumeIntegral<unsigned char>());
  }

  // A C-string source: outside text, a suffix of some value's text, or null.
  // text receives what the source reads as.
  const char* TextSource(int target, std::string& outside, std::string& text) {
    switch (in_.ConsumeIntegralInRange<int>(0, 5)) {
      case 0:
        return nullptr;
      case 1:
      case 2: {
        const int slot = in_.ConsumeBool() ? target : Slot();
        const std::string view = CView(model_[slot]);
        const std::size_t at = in_.ConsumeIntegralInRange<std::size_t>(0, view.size());
        text = view.substr(at);
        return s_[slot].CStr() + at;
      }
      default:
        outside = Text(48);
        text = CView(outside);
        return outside.c_str();
    }
  }

  // Accepts a finished operation on slot i. When no allocation failed the
  // value must be want; otherwise it may also be fallback.
  void Settle(int i, const std::string& want, const std::string& fallback) {
    if (g_plan.failures == 0) {
      CheckValue(s_[i], want);
    } else {
      CheckForm(s_[i]);
      const std::string got = Content(s_[i]);
      FUZZ_CHECK(got == want || got == fallback);
    }
    model_[i] = Content(s_[i]);
  }

  // A changing operation reported ok: true means it was done, false that it
  // failed for want of memory and left the string as it was.
  void SettleChange(int i, bool ok, const std::string& want, const std::string& before) {
    FUZZ_CHECK(ok || g_plan.failures > 0);
    CheckValue(s_[i], ok ? want : before);
    model_[i] = Content(s_[i]);
  }

  void CheckAll() {
    for (int i = 0; i < kSlots; ++i) {
      CheckValue(s_[i], model_[i]);
      if (s_[i].IsInlineForm()) continue;
      int holders = 0;
      for (int j = 0; j < kSlots; ++j) holders += s_[j].HeapBlock() == s_[i].HeapBlock();
      FUZZ_CHECK(s_[i].ShareCount() == holders);
    }
  }

  void Step() {
    const bool armed = pendingFailures_ != 0;
    g_plan = FailurePlan();
    g_plan.armed = armed;
    g_plan.mask = pendingFailures_;
    pendingFailures_ = 0;
    const int op = in_.ConsumeIntegralInRange<int>(0, kOpCount - 1);
    const int i = Slot();
    const std::string before = model_[i];
    switch (op) {
      case kAssignText: {
        const std::string t = Text(40);
        const int how = in_.ConsumeIntegralInRange<int>(0, 3);
        if (how == 0) s_[i] = ByteString(t.c_str());
        if (how == 1) s_[i].Assign(t.c_str());
        if (how == 2) s_[i].Assign(static_cast<const char*>(nullptr));
        if (how == 3) s_[i] = ByteString(static_cast<const char*>(nullptr));
        Settle(i, how < 2 ? CView(t) : std::string(), std::string());
        break;
      }
      case kAssignBytes: {
        const std::string t = Text(40);
        int length = static_cast<int>(t.size());
        std::string want = t;
        switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
          case 0:
            length = -1;
            want = CView(t);
            break;
          case 1:
            length = in_.ConsumeIntegralInRange<int>(INT_MIN, -2);
            want.clear();
            break;
          case 2:
            length = in_.ConsumeIntegralInRange<int>(0, length);
            want = t.substr(0, static_cast<std::size_t>(length));
            break;
          default:
            break;
        }
        const bool null = in_.ConsumeIntegralInRange<int>(0, 7) == 0;
        if (null) want.clear();
        s_[i] = ByteString(null ? nullptr : t.data(), length);
        if (g_plan.failures == 0) CheckBuiltInline(s_[i]);
        Settle(i, want, std::string());
        break;
      }
      case kCopy: {
        const int j = Slot();
        const bool shareable = !s_[j].IsInlineForm() && s_[j].ShareCount() < 255;
        ByteString copy(s_[j]);
        if (shareable) FUZZ_CHECK(copy.HeapBlock() == s_[j].HeapBlock());
        if (!shareable && !s_[j].IsInlineForm() && g_plan.failures == 0) {
          FUZZ_CHECK(copy.HeapBlock() != s_[j].HeapBlock());
          CheckBuiltInline(copy);
        }
        s_[i].Swap(copy);
        Settle(i, model_[j], std::string());
        break;
      }
      case kAssignSlot: {
        const int j = Slot();
        if (in_.ConsumeBool()) {
          s_[i].Assign(s_[j]);
        } else {
          s_[i] = s_[j];
        }
        Settle(i, model_[j], std::string());
        break;
      }
      case kAssignOwnText: {
        std::string outside, text;
        const char* source = TextSource(i, outside, text);
        s_[i].Assign(source);
        Settle(i, text, std::string());
        break;
      }
      case kMove: {
        const int j = Slot();
        ByteString& from = s_[j];
        if (in_.ConsumeBool()) {
          s_[i] = std::move(from);
        } else {
          ByteString moved(std::move(from));
          s_[i].Swap(moved);
        }
        // A value moved from, or moved onto itself, must stay usable; what
        // it holds is not promised.
        CheckForm(s_[j]);
        if (i != j) CheckValue(s_[i], model_[j]);
        model_[i] = Content(s_[i]);
        model_[j] = Content(s_[j]);
        break;
      }
      case kSwap: {
        const int j = Slot();
        s_[i].Swap(s_[j]);
        std::swap(model_[i], model_[j]);
        break;
      }
      case kClear:
        s_[i].Clear();
        CheckBuiltInline(s_[i]);
        Settle(i, std::string(), std::string());
        break;
      case kAppendBytes: {
        // Outside bytes, or a range of some value's bytes (its NUL included).
        std::string outside = Text(48), piece;
        const char* bytes = nullptr;
        int count = 0;
        const int source = in_.ConsumeIntegralInRange<int>(0, 3);
        if (source == 0) {
          count = in_.ConsumeIntegralInRange<int>(-2, static_cast<int>(outside.size()));
          bytes = outside.data();
          if (count > 0) piece = outside.substr(0, static_cast<std::size_t>(count));
        } else if (source == 1) {
          count = in_.ConsumeIntegralInRange<int>(-1, 8);
        } else {
          const int slot = source == 2 ? i : Slot();
          const std::string whole = model_[slot] + '\0';
          const std::size_t at = in_.ConsumeIntegralInRange<std::size_t>(0, whole.size() - 1);
          count = in_.ConsumeIntegralInRange<int>(0, static_cast<int>(whole.size() - at));
          bytes = s_[slot].CStr() + at;
          piece = whole.substr(at, static_cast<std::size_t>(count));
        }
        if (before.size() + piece.size() > kLongest) break;
        const bool ok = s_[i].Append(bytes, count);
        SettleChange(i, ok, before + piece, before);
        break;
      }
      case kAppendText: {
        std::string outside, text;
        const char* source = TextSource(i, outside, text);
        if (before.size() + text.size() > kLongest) break;
        const bool ok = s_[i].Append(source);
        SettleChange(i, ok, before + text, before);
        break;
      }
      case kAppendByte: {
        const char byte = Byte();
        const bool ok = s_[i].Append(byte);
        SettleChange(i, ok, before + byte, before);
        break;
      }
      case kAppendSlot: {
        const int j = Slot();
        const std::string other = model_[j];
        if (before.size() + other.size() > kLongest) break;
        const bool ok = s_[i].Append(s_[j]);
        SettleChange(i, ok, before + other, before);
        break;
      }
      case kMakeUnique: {
        const bool shared = !s_[i].IsInlineForm() && s_[i].ShareCount() > 1;
        const void* block = s_[i].HeapBlock();
        const bool ok = s_[i].MakeUnique();
        SettleChange(i, ok, before, before);
        if (ok && shared) {
          FUZZ_CHECK(s_[i].HeapBlock() != block);
          CheckBuiltInline(s_[i]);
        }
        if (ok) FUZZ_CHECK(s_[i].ShareCount() <= 1);
        if (!shared) FUZZ_CHECK(s_[i].HeapBlock() == block);
        break;
      }
      case kBuffer:
        Buffer(i, before);
        break;
      case kReleaseOnly: {
        // ReleaseBuffer without GetBuffer: the room is the text itself.
        const int length = in_.ConsumeIntegralInRange<int>(-1, static_cast<int>(before.size()));
        s_[i].ReleaseBuffer(length);
        Settle(i, length < 0 ? CView(before) : before.substr(0, static_cast<std::size_t>(length)), before);
        break;
      }
      case kFormat:
        Format(i, before);
        break;
      case kFields: {
        const char separator = Byte();
        const int index = in_.ConsumeBool() ? in_.ConsumeIntegralInRange<int>(-2, 8) : in_.ConsumeIntegral<int>();
        FUZZ_CHECK(s_[i].CountFields(separator) == ModelCountFields(before, separator, doubleByte_));
        const int k = Slot();
        s_[k] = s_[i].Field(separator, index);
        if (separator != '\0' && g_plan.failures == 0) CheckBuiltInline(s_[k]);
        Settle(k, ModelField(before, separator, index, doubleByte_), std::string());
        break;
      }
      case kLeftMid: {
        const int length = static_cast<int>(before.size());
        const int k = Slot();
        std::string want;
        if (in_.ConsumeBool()) {
          const int count = in_.ConsumeBool() ? in_.ConsumeIntegralInRange<int>(-2, length + 2) : in_.ConsumeIntegral<int>();
          want = before.substr(0, count < 0 ? 0 : static_cast<std::size_t>(count));
          s_[k] = s_[i].Left(count);
        } else {
          const int start = in_.ConsumeBool() ? in_.ConsumeIntegralInRange<int>(-2, length + 2) : in_.ConsumeIntegral<int>();
          const int count = in_.ConsumeBool() ? in_.ConsumeIntegralInRange<int>(-2, length + 2) : in_.ConsumeIntegral<int>();
          const std::size_t from = start < 0 ? 0 : start > length ? before.size() : static_cast<std::size_t>(start);
          want = count <= 0 ? std::string() : before.substr(from, static_cast<std::size_t>(count));
          s_[k] = s_[i].Mid(start, count);
        }
        if (g_plan.failures == 0) CheckBuiltInline(s_[k]);
        Settle(k, want, std::string());
        break;
      }
      case kConcat: {
        const int k = Slot();
        if (in_.ConsumeBool()) {
          const char byte = Byte();
          s_[k] = ByteString::Concat(s_[i], byte);
          Settle(k, before + byte, std::string());
        } else {
          std::string outside, text;
          const char* tail = TextSource(i, outside, text);
          if (before.size() + text.size() > kLongest) break;
          s_[k] = ByteString::Concat(s_[i], tail);
          Settle(k, before + text, std::string());
        }
        break;
      }
      case kTrimLeft:
        s_[i].TrimLeft();
        Settle(i, ModelTrimLeft(before), before);
        break;
      case kTrimRight:
        s_[i].TrimRight();
        Settle(i, ModelTrimRight(before, doubleByte_), before);
        break;
      case kMakeLower:
        s_[i].MakeLower();
        Settle(i, ModelLower(before, doubleByte_), before);
        break;
      case kReplace: {
        if (before.size() > kLongestReplaced) break;
        std::string outsidePattern, pattern, outsideReplacement, replacement;
        const char* p = TextSource(i, outsidePattern, pattern);
        const char* r = TextSource(i, outsideReplacement, replacement);
        const bool all = in_.ConsumeBool();
        const auto want = ModelReplace(before, p ? pattern.c_str() : nullptr, r ? replacement.c_str() : nullptr, all,
                                       doubleByte_);
        const bool replaced = s_[i].Replace(p, r, all);
        FUZZ_CHECK(replaced == want.first || (!replaced && g_plan.failures > 0));
        SettleChange(i, replaced || !want.first, want.second, before);
        break;
      }
      case kReverseFind: {
        const char byte = Byte();
        FUZZ_CHECK(s_[i].ReverseFind(byte) == ModelReverseFind(before, byte, doubleByte_));
        break;
      }
      case kManyCopies:
        ManyCopies(i, before);
        break;
      case kSwitchCodePage:
        doubleByte_ = !doubleByte_;
        UseCodePageStandIn932(doubleByte_);
        break;
      case kFailNext:
        pendingFailures_ = in_.ConsumeIntegral<std::uint32_t>();
        break;
      default:
        break;
    }
    g_plan.armed = false;
  }

  // GetBuffer, writes inside the room it promised, then ReleaseBuffer.
  void Buffer(int i, const std::string& before) {
    const int length = static_cast<int>(before.size());
    if (in_.ConsumeIntegralInRange<int>(0, 15) == 0) {
      // More than a ByteString can hold: refused, the string untouched.
      const int count = in_.ConsumeBool() ? INT_MAX : ByteString::kMaxLength + 1;
      FUZZ_CHECK(s_[i].GetBuffer(count) == nullptr);
      CheckValue(s_[i], before);
      return;
    }
    const int count = in_.ConsumeIntegralInRange<int>(-2, length + (length < static_cast<int>(kLongest) ? length : 0) + 24);
    char* buffer = s_[i].GetBuffer(count);
    if (!buffer) {
      FUZZ_CHECK(g_plan.failures > 0);
      CheckValue(s_[i], before);
      return;
    }
    // The old text and its NUL are in place; the rest of the room is ours.
    FUZZ_CHECK(std::memcmp(buffer, before.c_str(), before.size() + 1) == 0);
    FUZZ_CHECK(s_[i].Length() == length);
    const std::size_t room = static_cast<std::size_t>(count > length ? count : length);
    std::string image = before + '\0';
    image.resize(room + 1, '\0');
    for (std::size_t k = before.size() + 1; k < room; ++k) image[k] = static_cast<char>('a' + k % 26);
    const std::string edit = Text(room);
    const std::size_t at = in_.ConsumeIntegralInRange<std::size_t>(0, room - edit.size());
    image.replace(at, edit.size(), edit);
    std::memcpy(buffer, image.data(), room);
    std::string want;
    if (in_.ConsumeBool()) {
      buffer[room] = '\0';
      image[room] = '\0';
      s_[i].ReleaseBuffer(-1);
      want = CView(image);
    } else {
      const int newLength = in_.ConsumeIntegralInRange<int>(0, static_cast<int>(room));
      s_[i].ReleaseBuffer(newLength);
      want = image.substr(0, static_cast<std::size_t>(newLength));
    }
    CheckValue(s_[i], want);
    model_[i] = want;
  }

  void Format(int i, const std::string& before) {
    std::string outsideA, a, outsideB, b;
    const char* pa = TextSource(i, outsideA, a);
    const char* pb = TextSource(i, outsideB, b);
    if (!pa) pa = "";
    if (!pb) pb = "";
    // Now and then an output long enough to be cut.
    const int number = in_.ConsumeIntegralInRange<int>(0, 63) != 0 ? in_.ConsumeIntegralInRange<int>(0, 600)
                                                                   : in_.ConsumeIntegralInRange<int>(0, 140000);
    std::string out;
    int result = 0;
    switch (in_.ConsumeIntegralInRange<int>(0, 6)) {
      case 0: out = Printf("%s", a.c_str()); result = s_[i].Format("%s", pa); break;
      case 1: out = Printf("%s%s", a.c_str(), b.c_str()); result = s_[i].Format("%s%s", pa, pb); break;
      case 2: out = Printf("%*s", number, a.c_str()); result = s_[i].Format("%*s", number, pa); break;
      case 3: out = Printf("%.*s", number, a.c_str()); result = s_[i].Format("%.*s", number, pa); break;
      case 4: out = Printf("<%d|%s>", number, a.c_str()); result = s_[i].Format("<%d|%s>", number, pa); break;
      case 5: out = "%"; result = s_[i].Format("%%"); break;
      default:
        FUZZ_CHECK(FormatWithNoFormat(&s_[i], pa) == -1);
        CheckValue(s_[i], before);
        return;
    }
    const bool cut = out.size() > kFormatKeeps;
    const std::string want = cut ? out.substr(0, kFormatKeeps) : out;
    const int wantResult = cut ? -1 : static_cast<int>(out.size());
    if (g_plan.failures > 0 && result == -1 && Content(s_[i]) == before) {
      model_[i] = before;
      return;
    }
    FUZZ_CHECK(result == wantResult);
    CheckValue(s_[i], want);
    model_[i] = want;
  }

  // Copies of one value: a block is shared by at most 255 values, later
  // copies are deep; changing one copy changes no other.
  void ManyCopies(int i, const std::string& before) {
    const int n = in_.ConsumeIntegralInRange<int>(1, 300);
    std::vector<ByteString> copies;
    copies.reserve(static_cast<std::size_t>(n));
    int shares = s_[i].ShareCount();
    for (int k = 0; k < n; ++k) {
      copies.emplace_back(s_[i]);
      const ByteString& copy = copies.back();
      if (s_[i].IsInlineForm()) {
        FUZZ_CHECK(copy.IsInlineForm());
      } else if (shares < 255) {
        FUZZ_CHECK(copy.HeapBlock() == s_[i].HeapBlock());
        ++shares;
      } else {
        FUZZ_CHECK(copy.HeapBlock() != s_[i].HeapBlock());
        if (g_plan.failures == 0) CheckBuiltInline(copy);
      }
      if (g_plan.failures == 0) {
        CheckValue(copy, before);
      } else {
        CheckForm(copy);
        FUZZ_CHECK(Content(copy) == before || copy.IsEmpty());
      }
    }
    FUZZ_CHECK(s_[i].ShareCount() == (s_[i].IsInlineForm() ? 0 : shares));
    ByteString& changed = copies[in_.ConsumeIntegralInRange<std::size_t>(0, copies.size() - 1)];
    const std::string old = Content(changed);
    const char byte = Byte();
    if (changed.Append(byte)) {
      CheckValue(changed, old + byte);
    } else {
      FUZZ_CHECK(g_plan.failures > 0);
      CheckValue(changed, old);
    }
    for (const ByteString& copy : copies) {
      if (&copy != &changed && !copy.IsEmpty()) CheckValue(copy, before);
    }
    CheckValue(s_[i], before);
  }

  FuzzedDataProvider& in_;
  ByteString s_[kSlots];
  std::string model_[kSlots];
  bool doubleByte_ = false;
  std::uint32_t pendingFailures_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  {
    Rig rig(in);
    rig.Run();
  }
  return 0;
}
