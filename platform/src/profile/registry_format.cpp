// The text form of a registry root's file (registry_format.h).

#include "profile/registry_format.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include "platform/utf16.h"

namespace platform::registry::internal {
namespace {

using platform::internal::Buffer;

constexpr char kHeaderLine[] = "vrtools-registry 1";
constexpr char kEndLine[] = "end";

// ---------------------------------------------------------------------------
// Writing.
// ---------------------------------------------------------------------------

bool needsEscape(UChar32 c, bool keyName) {
  if (c < 0x20 || c == 0x7F || utf16::isSurrogate(static_cast<uint32_t>(c))) return true;
  if (c == '%' || c == '"' || c == '[' || c == ']') return true;
  return keyName && (c == '\\' || c == '/');
}

void appendEscaped(Buffer<char>* out, Units text, bool keyName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  size_t i = 0;
  while (i < text.size()) {
    UChar32 c;
    U16_NEXT(text.data(), i, text.size(), c);
    if (needsEscape(c, keyName)) {
      // Only BMP code points (and lone surrogates) are escaped.
      const char escape[5] = {'%', kHex[(c >> 12) & 0xF], kHex[(c >> 8) & 0xF], kHex[(c >> 4) & 0xF], kHex[c & 0xF]};
      out->append(escape, sizeof escape);
    } else {
      uint8_t bytes[U8_MAX_LENGTH];
      size_t length = 0;
      U8_APPEND_UNSAFE(bytes, length, c);
      out->append(reinterpret_cast<const char*>(bytes), length);
    }
  }
}

void appendLiteral(Buffer<char>* out, std::string_view text) { out->append(text.data(), text.size()); }

void appendValues(Buffer<char>* out, const Node* node) {
  for (const Item* item = node->values.first; item != nullptr; item = item->next) {
    out->push('"');
    appendEscaped(out, item->name.view(), false);
    appendLiteral(out, "\"=\"");
    appendEscaped(out, static_cast<const Value*>(item)->data.view(), false);
    appendLiteral(out, "\"\n");
  }
}

// ---------------------------------------------------------------------------
// Reading.
// ---------------------------------------------------------------------------

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

class Parser {
 public:
  Parser(std::string_view text, Tree* tree) : text_(text), tree_(tree) {}

  ParseResult run() {
    std::string_view line;
    if (!nextLine(&line) || line != kHeaderLine) return ParseResult::kCorrupt;
    Node* current = tree_->root();
    bool ended = false;
    while (nextLine(&line)) {
      if (isBlank(line) || line[0] == ';') continue;
      if (ended) return ParseResult::kCorrupt;  // text after the end line
      ParseResult result = ParseResult::kOk;
      if (line == kEndLine) {
        ended = true;
      } else if (line[0] == '[' && line.back() == ']') {
        result = parseKey(line.substr(1, line.size() - 2), &current);
      } else if (line[0] == '"') {
        result = parseValue(line, current);
      } else {
        result = ParseResult::kCorrupt;
      }
      if (result != ParseResult::kOk) return result;
    }
    return ended ? ParseResult::kOk : ParseResult::kCorrupt;
  }

 private:
  // The next line without its '\n' (and a '\r' before it).
  bool nextLine(std::string_view* line) {
    if (position_ >= text_.size()) return false;
    size_t end = text_.find('\n', position_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(position_, end - position_);
    position_ = end + 1;
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    return true;
  }

  // Decodes UTF-8 with '%XXXX' escapes into scratch_ up to (not past) the
  // first of the ASCII `stops`; false on a malformed sequence or escape.
  bool decode(std::string_view text, size_t* position, std::string_view stops) {
    scratch_.clear();
    size_t i = *position;
    while (i < text.size()) {
      const unsigned char byte = static_cast<unsigned char>(text[i]);
      if (byte != 0 && stops.find(static_cast<char>(byte)) != std::string_view::npos) break;
      if (byte != 0 && byte < 0x80 && byte != '%') {  // plain ASCII
        scratch_.push(static_cast<char16_t>(byte));
        ++i;
        continue;
      }
      if (byte == '%') {
        if (text.size() - i < 5) return false;
        uint32_t unit = 0;
        for (size_t k = 1; k <= 4; ++k) {
          const int digit = hexDigit(text[i + k]);
          if (digit < 0) return false;
          unit = unit * 16 + static_cast<uint32_t>(digit);
        }
        scratch_.push(static_cast<char16_t>(unit));
        i += 5;
        continue;
      }
      UChar32 c;
      U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, text.size(), c);
      if (c < 0) return false;
      char16_t units[2];
      size_t length = 0;
      U16_APPEND_UNSAFE(units, length, c);
      scratch_.append(units, length);
    }
    *position = i;
    return true;
  }

  Units scratch() { return Units(scratch_.data(), scratch_.size()); }

  // "[A\B]": the key, created with its parents when missing, becomes current.
  // "[]" is the root.
  ParseResult parseKey(std::string_view path, Node** current) {
    Node* node = tree_->root();
    size_t i = 0;
    while (i < path.size()) {
      if (!decode(path, &i, "\\/") || scratch_.size() == 0) return ParseResult::kCorrupt;
      if (i < path.size() && ++i == path.size()) return ParseResult::kCorrupt;  // a trailing separator
      if (scratch_.failed()) return ParseResult::kNoMemory;
      bool added = false;
      Node* child = tree_->makeKey(node, scratch(), &added);
      if (child == nullptr) return ParseResult::kNoMemory;
      node = child;
    }
    *current = node;
    return ParseResult::kOk;
  }

  // "name"="data"; blanks may stand around '=' and after the line. A name
  // given twice keeps the last data.
  ParseResult parseValue(std::string_view line, Node* key) {
    size_t i = 1;
    if (!decode(line, &i, "\"") || i >= line.size()) return ParseResult::kCorrupt;
    if (scratch_.failed()) return ParseResult::kNoMemory;
    bool added = false;
    Value* value = tree_->makeValue(key, scratch(), &added);
    if (value == nullptr) return ParseResult::kNoMemory;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string_view::npos || line[i] != '=') return ParseResult::kCorrupt;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string_view::npos || line[i] != '"') return ParseResult::kCorrupt;
    ++i;
    if (!decode(line, &i, "\"") || i >= line.size() || !isBlank(line.substr(i + 1))) return ParseResult::kCorrupt;
    if (scratch_.failed() || !value->data.assign(scratch())) return ParseResult::kNoMemory;
    return ParseResult::kOk;
  }

  std::string_view text_;
  size_t position_ = 0;
  Tree* tree_;
  Buffer<char16_t> scratch_;
};

}  // namespace

bool serialize(const Tree& tree, Buffer<char>* out) {
  appendLiteral(out, kHeaderLine);
  out->push('\n');
  appendValues(out, tree.root());
  Buffer<char> path;     // the escaped path of the current key
  Buffer<size_t> marks;  // path lengths before each open key's name
  const Item* item = tree.root()->keys.first;
  while (item != nullptr && !out->failed() && !path.failed() && !marks.failed()) {
    marks.push(path.size());
    if (path.size() > 0) path.push('\\');
    appendEscaped(&path, item->name.view(), true);
    appendLiteral(out, "\n[");
    out->append(path.data(), path.size());
    appendLiteral(out, "]\n");
    const Node* node = static_cast<const Node*>(item);
    appendValues(out, node);
    if (node->keys.first != nullptr) {
      item = node->keys.first;
      continue;
    }
    // Leave this key and every ancestor that was the last of its siblings.
    for (;;) {
      path.truncate(marks.data()[marks.size() - 1]);
      marks.truncate(marks.size() - 1);
      if (item->next != nullptr) {
        item = item->next;
        break;
      }
      item = item->parent;
      if (item == tree.root()) {
        item = nullptr;
        break;
      }
    }
  }
  out->push('\n');
  appendLiteral(out, kEndLine);
  out->push('\n');
  return !out->failed() && !path.failed() && !marks.failed();
}

ParseResult parse(std::string_view text, Tree* tree) { return Parser(text, tree).run(); }

}  // namespace platform::registry::internal
