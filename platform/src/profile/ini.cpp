// The private-profile (INI) reader and writer.
//
// A file is worked on as the bytes it holds: every character the syntax uses
// ('[', ']', '=', ';', blanks, line ends) is ASCII, which never occurs inside
// a multi-byte UTF-8 sequence, so only the names and values a request touches
// are decoded, and a write copies every other byte as it was. Bytes that are
// not valid UTF-8 are read as Latin-1, one character each, so a file in a
// legacy encoding stays readable.

#include "platform/profile/ini.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/checked_size.h"
#include "platform/files.h"
#include "platform/locked_file.h"
#include "platform/utf16.h"
#include "growable_buffer.h"

namespace platform::ini {
namespace {

using Bytes = std::string_view;
using Units = std::u16string_view;

constexpr Bytes kByteOrderMark = "\xEF\xBB\xBF";

// ---------------------------------------------------------------------------
// Text rules shared by the reader and the writer.
// ---------------------------------------------------------------------------

template <typename Char>
bool isBlank(Char c) {
  return c == ' ' || c == '\t';
}

template <typename Char>
bool isLineBreak(Char c) {
  return c == '\n' || c == '\r';
}

template <typename View>
View trim(View text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// A value enclosed in a pair of double or single quotes loses them.
Bytes unquote(Bytes value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The next character of file text: UTF-8 where the bytes are valid, else
// the one byte as Latin-1.
UChar32 nextChar(Bytes text, size_t* index) {
  const size_t start = *index;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size() - start < 4 ? text.size() - start : 4);
  int32_t i = 0;
  UChar32 c;
  U8_NEXT(bytes + start, i, length, c);
  if (c < 0) {
    *index = start + 1;
    return bytes[start];
  }
  *index = start + static_cast<size_t>(i);
  return c;
}

// The next character of a caller's UTF-16 text; a lone surrogate stands for
// U+FFFD, as it is written to a file.
UChar32 nextChar(Units text, size_t* index) { return static_cast<UChar32>(utf16::nextCodePoint(text, index)); }

// Names ignore case and keep it: characters are compared upper-cased one
// code point at a time (ICU's simple mapping), so "été" matches "ÉTÉ".
template <typename A, typename B>
bool sameName(A a, B b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const UChar32 x = nextChar(a, &i);
    const UChar32 y = nextChar(b, &j);
    if (x != y && u_toupper(x) != u_toupper(y)) return false;
  }
  return i == a.size() && j == b.size();
}

// ---------------------------------------------------------------------------
// Lines.
// ---------------------------------------------------------------------------

enum class LineKind : uint8_t { kOther, kSection, kKey };

// One line of the file, as offsets into it.
struct Line {
  size_t start = 0;
  size_t contentEnd = 0;  // before the line end (LF or CRLF)
  size_t next = 0;        // start of the next line
  LineKind kind = LineKind::kOther;
  Bytes name;             // section or key, without blanks
  size_t valueStart = 0;  // key lines: the value's first byte, blanks skipped
};

bool hasLineEnd(const Line& line) { return line.next > line.contentEnd; }

// Classifies the line that starts at `start`. "[name]" is a section (the
// name runs to the last ']'); "key=value" a key; a line that begins with ';'
// (a comment), a blank line and anything else is kept as it is and read as
// nothing.
Line parseLine(Bytes text, size_t start) {
  Line line;
  line.start = start;
  const size_t newline = text.find('\n', start);
  line.next = newline == Bytes::npos ? text.size() : newline + 1;
  line.contentEnd = newline == Bytes::npos ? text.size() : newline;
  if (line.contentEnd > start && text[line.contentEnd - 1] == '\r') --line.contentEnd;

  const Bytes content = text.substr(start, line.contentEnd - start);
  const Bytes trimmed = trim(content);
  if (trimmed.empty() || trimmed.front() == ';') return line;
  if (trimmed.front() == '[') {
    const size_t close = trimmed.rfind(']');
    if (close != Bytes::npos) {
      line.kind = LineKind::kSection;
      line.name = trim(trimmed.substr(1, close - 1));
    }
    return line;
  }
  const size_t equals = content.find('=');
  if (equals == Bytes::npos) return line;
  line.kind = LineKind::kKey;
  line.name = trim(content.substr(0, equals));
  line.valueStart = start + equals + 1;
  while (line.valueStart < line.contentEnd && isBlank(text[line.valueStart])) ++line.valueStart;
  return line;
}

Bytes valueOf(Bytes text, const Line& line) {
  return unquote(trim(text.substr(line.valueStart, line.contentEnd - line.valueStart)));
}

// The file's text with its lines; a UTF-8 byte order mark before the first
// line is kept apart.
class Document {
 public:
  explicit Document(Bytes text) : text_(text) {
    if (text_.substr(0, kByteOrderMark.size()) == kByteOrderMark) firstLine_ = kByteOrderMark.size();
  }

  Bytes text() const { return text_; }
  size_t firstLine() const { return firstLine_; }
  bool atEnd(size_t position) const { return position >= text_.size(); }
  Line line(size_t position) const { return parseLine(text_, position); }

  // The first "[section]" line of that name; false when there is none.
  bool findSection(Units section, Line* header) const {
    for (size_t at = firstLine_; !atEnd(at);) {
      const Line line = parseLine(text_, at);
      if (line.kind == LineKind::kSection && sameName(section, line.name)) {
        *header = line;
        return true;
      }
      at = line.next;
    }
    return false;
  }

  // The first line of `key` in the section whose header is given.
  bool findKey(const Line& header, Units key, Line* found) const {
    for (size_t at = header.next; !atEnd(at);) {
      const Line line = parseLine(text_, at);
      if (line.kind == LineKind::kSection) return false;
      if (line.kind == LineKind::kKey && sameName(key, line.name)) {
        *found = line;
        return true;
      }
      at = line.next;
    }
    return false;
  }

  // True when a line of the same kind and name as `line` comes before it,
  // looking from `from` on: lists name each section and key once, as reads
  // see them.
  bool seenBefore(size_t from, const Line& line) const {
    for (size_t at = from; at < line.start;) {
      const Line earlier = parseLine(text_, at);
      if (earlier.kind == line.kind && sameName(earlier.name, line.name)) return true;
      at = earlier.next;
    }
    return false;
  }

  // The line end the file uses: that of its first line, LF when it has none.
  Bytes lineEnd() const {
    const size_t newline = text_.find('\n', firstLine_);
    return newline != Bytes::npos && newline > firstLine_ && text_[newline - 1] == '\r' ? "\r\n" : "\n";
  }

 private:
  Bytes text_;
  size_t firstLine_ = 0;
};

// The file's bytes, owned; empty when it is missing or cannot be read.
class FileText {
 public:
  FileText() = default;
  ~FileText() { std::free(data_); }
  FileText(const FileText&) = delete;
  FileText& operator=(const FileText&) = delete;

  ErrorNumber load(const char* file) { return readWholeFile(file, &data_, &size_); }
  Bytes bytes() const { return data_ == nullptr ? Bytes() : Bytes(data_, size_); }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
};

// ---------------------------------------------------------------------------
// Results in the caller's buffer.
// ---------------------------------------------------------------------------

// Writes UTF-16 units into the first `capacity` units of a buffer and counts
// every unit offered, so a caller learns whether all of them fitted.
class UnitWriter {
 public:
  UnitWriter(char16_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  void put(char16_t unit) {
    if (count_ < capacity_) buffer_[count_] = unit;
    ++count_;
  }
  void putFileText(Bytes text) {
    for (size_t i = 0; i < text.size() && count_ < capacity_;) putChar(nextChar(text, &i));
  }
  void putCallerText(Units text) {
    for (size_t i = 0; i < text.size() && count_ < capacity_; ++i) put(text[i]);
  }
  // A list name with its terminator, counted whole so a cut shows.
  void putFileName(Bytes text) {
    for (size_t i = 0; i < text.size();) putChar(nextChar(text, &i));
    put(u'\0');
  }
  size_t count() const { return count_; }
  // Once the units offered reach the capacity the result is cut whatever
  // follows, so a list stops looking.
  bool full() const { return count_ >= capacity_; }

 private:
  void putChar(UChar32 c) {
    if (U_IS_BMP(c)) {
      put(static_cast<char16_t>(c));
    } else {
      put(utf16::highSurrogateOf(static_cast<uint32_t>(c)));
      put(utf16::lowSurrogateOf(static_cast<uint32_t>(c)));
    }
  }

  char16_t* buffer_;
  size_t capacity_;
  size_t count_ = 0;
};

// A value: at most units - 1 units, terminated; returns the units copied.
template <typename Put>
size_t copyValue(char16_t* buffer, size_t units, Put put) {
  UnitWriter writer(buffer, units - 1);
  put(writer);
  const size_t copied = writer.count() < units - 1 ? writer.count() : units - 1;
  buffer[copied] = u'\0';
  return copied;
}

size_t copyFallback(const char16_t* fallback, char16_t* buffer, size_t units) {
  const Units text = fallback == nullptr ? Units() : Units(fallback);
  return copyValue(buffer, units, [&](UnitWriter& writer) { writer.putCallerText(text); });
}

// Ends a list of names (each terminated) with a second terminator. A list
// that does not fit is cut to units - 2 units and two terminators; an empty
// one gives the fallback, as a missing value does.
size_t finishList(const UnitWriter& writer, const char16_t* fallback, char16_t* buffer, size_t units) {
  const size_t length = writer.count();
  if (length == 0) return copyFallback(fallback, buffer, units);
  if (length < units) {
    buffer[length] = u'\0';
    return length;
  }
  if (units == 1) {
    buffer[0] = u'\0';
    return 0;
  }
  buffer[units - 2] = u'\0';
  buffer[units - 1] = u'\0';
  return units - 2;
}

size_t listSections(const Document& doc, const char16_t* fallback, char16_t* buffer, size_t units) {
  UnitWriter writer(buffer, units);
  for (size_t at = doc.firstLine(); !doc.atEnd(at) && !writer.full();) {
    const Line line = doc.line(at);
    if (line.kind == LineKind::kSection && !doc.seenBefore(doc.firstLine(), line)) writer.putFileName(line.name);
    at = line.next;
  }
  return finishList(writer, fallback, buffer, units);
}

size_t listKeys(const Document& doc, Units section, const char16_t* fallback, char16_t* buffer, size_t units) {
  UnitWriter writer(buffer, units);
  Line header;
  if (doc.findSection(section, &header)) {
    for (size_t at = header.next; !doc.atEnd(at) && !writer.full();) {
      const Line line = doc.line(at);
      if (line.kind == LineKind::kSection) break;
      if (line.kind == LineKind::kKey && !doc.seenBefore(header.next, line)) writer.putFileName(line.name);
      at = line.next;
    }
  }
  return finishList(writer, fallback, buffer, units);
}

// Only a missing key gives the fallback: one that is there reads as its
// value, also when that is empty ("k=", "k= ", "k=\"\""), so that a value
// written empty reads back empty.
size_t readValue(const Document& doc, Units section, Units key, const char16_t* fallback, char16_t* buffer,
                 size_t units) {
  Line header;
  Line found;
  if (!doc.findSection(section, &header) || !doc.findKey(header, key, &found)) {
    return copyFallback(fallback, buffer, units);
  }
  const Bytes value = valueOf(doc.text(), found);
  return copyValue(buffer, units, [&](UnitWriter& writer) { writer.putFileText(value); });
}

// ---------------------------------------------------------------------------
// Writing.
// ---------------------------------------------------------------------------

// The new file's bytes, grown with the C heap; any failure to grow sticks,
// so an edit appends freely and checks once.
class Output {
 public:
  void append(Bytes bytes) { buffer_.append(bytes.data(), bytes.size()); }
  // UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
  void appendUtf8(Units text) {
    size_t longest;
    if (!multiplySizes(&longest, text.size(), U8_MAX_LENGTH) || !buffer_.reserve(longest)) return;
    size_t size = buffer_.size();
    for (size_t i = 0; i < text.size();) {
      size += utf16::encodeUtf8(utf16::nextCodePoint(text, &i), buffer_.data() + size);
    }
    buffer_.setSize(size);
  }
  bool ok() const { return !buffer_.failed(); }
  const char* data() const { return buffer_.data(); }
  size_t size() const { return buffer_.size(); }

 private:
  internal::Buffer<char> buffer_;
};

enum class Edit : uint8_t { kUnchanged, kChanged };

// A null key: every "[section]" of that name goes, with all its lines.
Edit deleteSection(const Document& doc, Units section, Output* out) {
  const Bytes text = doc.text();
  out->append(text.substr(0, doc.firstLine()));
  bool dropping = false;
  bool dropped = false;
  for (size_t at = doc.firstLine(); !doc.atEnd(at);) {
    const Line line = doc.line(at);
    if (line.kind == LineKind::kSection) dropping = sameName(section, line.name);
    if (dropping) {
      dropped = true;
    } else {
      out->append(text.substr(line.start, line.next - line.start));
    }
    at = line.next;
  }
  return dropped ? Edit::kChanged : Edit::kUnchanged;
}

// A null value: every line of the key goes from the section that reads see.
Edit deleteKey(const Document& doc, Units section, Units key, Output* out) {
  Line header;
  if (!doc.findSection(section, &header)) return Edit::kUnchanged;
  const Bytes text = doc.text();
  out->append(text.substr(0, header.next));
  bool dropped = false;
  size_t at = header.next;
  while (!doc.atEnd(at)) {
    const Line line = doc.line(at);
    if (line.kind == LineKind::kSection) break;
    if (line.kind == LineKind::kKey && sameName(key, line.name)) {
      dropped = true;
    } else {
      out->append(text.substr(line.start, line.next - line.start));
    }
    at = line.next;
  }
  out->append(text.substr(at));
  return dropped ? Edit::kChanged : Edit::kUnchanged;
}

void appendKeyLine(Units key, Units value, Bytes lineEnd, Output* out) {
  out->appendUtf8(key);
  out->append("=");
  out->appendUtf8(value);
  out->append(lineEnd);
}

// A value: replaces the first line of the key in place (its name and the
// blanks around '=' stay), else adds a line after the section's last key,
// else adds the section at the end of the file.
Edit setValue(const Document& doc, Units section, Units key, Units value, Output* out) {
  const Bytes text = doc.text();
  const Bytes lineEnd = doc.lineEnd();
  Line header;
  if (!doc.findSection(section, &header)) {
    out->append(text);
    if (text.size() > doc.firstLine() && text.back() != '\n') out->append(lineEnd);
    out->append("[");
    out->appendUtf8(section);
    out->append("]");
    out->append(lineEnd);
    appendKeyLine(key, value, lineEnd, out);
    return Edit::kChanged;
  }
  Line found;
  if (doc.findKey(header, key, &found)) {
    out->append(text.substr(0, found.valueStart));
    out->appendUtf8(value);
    out->append(text.substr(found.contentEnd));
    return Edit::kChanged;
  }
  Line last = header;
  for (size_t at = header.next; !doc.atEnd(at);) {
    const Line line = doc.line(at);
    if (line.kind == LineKind::kSection) break;
    if (line.kind == LineKind::kKey) last = line;
    at = line.next;
  }
  out->append(text.substr(0, last.next));
  if (!hasLineEnd(last)) out->append(lineEnd);
  appendKeyLine(key, value, lineEnd, out);
  out->append(text.substr(last.next));
  return Edit::kChanged;
}

// Texts that would not read back as what was written are refused: a line
// break in any of them would start a new line of the file, and a key with
// '=' or that begins like a comment or a section would read as another.
bool writableText(Units text) {
  for (char16_t c : text) {
    if (isLineBreak(c)) return false;
  }
  return true;
}

bool writableKey(Units key) {
  if (!writableText(key) || key.find(u'=') != Units::npos) return false;
  return key.empty() || (key.front() != u';' && key.front() != u'[');
}

Edit edit(const Document& doc, Units section, const char16_t* key, const char16_t* value, Output* out) {
  if (key == nullptr) return deleteSection(doc, section, out);
  const Units name = trim(Units(key));
  if (value == nullptr) return deleteKey(doc, section, name, out);
  return setValue(doc, section, name, Units(value), out);
}

}  // namespace

size_t getString(const char16_t* section, const char16_t* key, const char16_t* fallback, char16_t* buffer, size_t units,
                 const char* file) noexcept {
  if (buffer == nullptr || units == 0) return 0;
  FileText content;
  // A file that is missing or cannot be read reads as empty.
  if (file != nullptr) (void)content.load(file);
  const Document doc(content.bytes());
  if (section == nullptr) return listSections(doc, fallback, buffer, units);
  const Units sectionName = trim(Units(section));
  if (key == nullptr) return listKeys(doc, sectionName, fallback, buffer, units);
  return readValue(doc, sectionName, trim(Units(key)), fallback, buffer, units);
}

bool writeString(const char16_t* section, const char16_t* key, const char16_t* value, const char* file) noexcept {
  if (section == nullptr || file == nullptr || file[0] == '\0') return false;
  const Units sectionName = trim(Units(section));
  if (!writableText(sectionName)) return false;
  if (key != nullptr && !writableKey(trim(Units(key)))) return false;
  if (value != nullptr && !writableText(Units(value))) return false;

  FileUpdateLock lock;
  if (lock.acquire(file) != kErrorNone) return false;
  // The replacement is a rename, which a read-only file would not stop.
  if (fileKind(file) == FileKind::kReadOnlyFile) return false;
  FileText content;
  const ErrorNumber read = content.load(file);
  if (read != kErrorNone && read != kErrorNotFound) return false;
  const Document doc(content.bytes());
  Output out;
  const Edit result = edit(doc, sectionName, key, value, &out);
  if (!out.ok()) return false;
  // Nothing to delete is done already; it must not create the file either.
  if (result == Edit::kUnchanged) return true;
  const char* bytes = out.size() == 0 ? "" : out.data();
  return replaceFileAtomically(file, bytes, out.size()) == kErrorNone;
}

}  // namespace platform::ini
