// The registry stand-in: the portable part. Each root is a tree of keys and
// string values kept in one text file. Every operation reads the file afresh
// (parsing it again only when its text changed); every change is a
// read-modify-write under the update lock of platform/locked_file.h, and
// readers take no lock, since the file is only ever replaced by a rename.
// The store's directory and its creation are in unix/registry.inc.
//
// The file is UTF-8 text a person can read and edit:
//
//   vrtools-registry 1
//   "RootValue"="text"
//
//   [SOFTWARE\ODBC\ODBC.INI\My Source]
//   "Driver"="/usr/lib/libsqlite3odbc.so"
//
//   end
//
// Every key gets its own "[path]" line (a person may leave out the parents),
// parent first, subkeys and values in the order they were created, so
// reading a file back keeps that order. A UTF-16 unit that cannot
// stand as it is (controls, '%', '"', '[', ']', a lone surrogate, and in key
// names '\' and '/') is written as '%' and four hex digits. Blank lines and
// lines starting with ';' are ignored. The "end" line tells a complete file
// from a cut one: a file without it is reported, never taken as empty.

#include "platform/registry.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "platform/files.h"
#include "platform/locked_file.h"
#include "growable_buffer.h"

namespace platform::registry {
namespace {

using platform::internal::Buffer;

using Units = std::u16string_view;

// ---------------------------------------------------------------------------
// Growable buffers and owned text.
// ---------------------------------------------------------------------------

// Units owned on malloc; no terminator is kept.
struct Text {
  char16_t* units = nullptr;
  size_t size = 0;

  Units view() const { return Units(units, size); }
  void release() {
    std::free(units);
    units = nullptr;
    size = 0;
  }
  // Replaces the text by a copy of `value`; false (unchanged) when out of
  // memory.
  bool assign(Units value) {
    char16_t* copy = nullptr;
    if (!value.empty()) {
      if (value.size() > SIZE_MAX / sizeof(char16_t)) return false;
      copy = static_cast<char16_t*>(std::malloc(value.size() * sizeof(char16_t)));
      if (copy == nullptr) return false;
      std::memcpy(copy, value.data(), value.size() * sizeof(char16_t));
    }
    std::free(units);
    units = copy;
    size = value.size();
    return true;
  }
};

// ---------------------------------------------------------------------------
// Names: case ignored, case kept.
// ---------------------------------------------------------------------------

// Names are equal when their code points are equal after u_toupper, one by
// one (simple upper-casing, as the Windows registry compares); a lone
// surrogate stands for itself.
bool sameName(Units a, Units b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    UChar32 x;
    UChar32 y;
    U16_NEXT(a.data(), i, a.size(), x);
    U16_NEXT(b.data(), j, b.size(), y);
    if (x != y && u_toupper(x) != u_toupper(y)) return false;
  }
  return i == a.size() && j == b.size();
}

// The common case without a look-up in the case tables.
uint32_t asciiUpper(UChar32 c) { return static_cast<uint32_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

// FNV-1a over the upper-cased code points, so equal names hash alike.
uint32_t nameHash(Units name) {
  uint32_t hash = 2166136261u;
  size_t i = 0;
  while (i < name.size()) {
    UChar32 c;
    U16_NEXT(name.data(), i, name.size(), c);
    uint32_t upper = c < 0x80 ? asciiUpper(c) : static_cast<uint32_t>(u_toupper(c));
    for (int byte = 0; byte < 4; ++byte, upper >>= 8) {
      hash = (hash ^ (upper & 0xFF)) * 16777619u;
    }
  }
  return hash;
}

// ---------------------------------------------------------------------------
// The tree of one root.
// ---------------------------------------------------------------------------

struct Node;

// A subkey or a value: a name below a parent key. Items are found through the
// tree's hash index by (parent, kind, name) and listed through their parent
// in the order they were created.
struct Item {
  Item* previous = nullptr;  // siblings of the same kind, in creation order
  Item* next = nullptr;
  Item* hashNext = nullptr;
  Node* parent = nullptr;
  size_t slot = 0;  // hash of parent, kind and name
  bool isKey = false;
  Text name;
};

struct ItemList {
  Item* first = nullptr;
  Item* last = nullptr;
  size_t count = 0;
};

struct Value : Item {
  Text data;
};

struct Node : Item {
  ItemList keys;
  ItemList values;
};

class Tree {
 public:
  Tree() { root_.isKey = true; }
  ~Tree() {
    // Every item but the root sits in the index: freeing them there needs no
    // walk down the tree, however deep a file nests its keys.
    for (size_t b = 0; b < bucketCount_; ++b) {
      Item* item = buckets_[b];
      while (item != nullptr) {
        Item* next = item->hashNext;
        destroy(item);
        item = next;
      }
    }
    std::free(buckets_);
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  Node* root() { return &root_; }

  Node* findKey(Node* parent, Units name) const {
    return static_cast<Node*>(find(parent, true, name, slotOf(parent, true, name)));
  }
  Value* findValue(Node* parent, Units name) const {
    return static_cast<Value*>(find(parent, false, name, slotOf(parent, false, name)));
  }

  // The subkey or value of that name; one made at the end of the parent's
  // list when there is none (*added set; a new value is empty). Null when out
  // of memory.
  Node* makeKey(Node* parent, Units name, bool* added) { return static_cast<Node*>(make(parent, true, name, added)); }
  Value* makeValue(Node* parent, Units name, bool* added) {
    return static_cast<Value*>(make(parent, false, name, added));
  }

  // Removes a value, or a key without subkeys together with its values.
  void remove(Item* item) {
    if (item->isKey) {
      Node* node = static_cast<Node*>(item);
      while (node->values.first != nullptr) remove(node->values.first);
    }
    unlink(item);
    destroy(item);
  }

 private:
  static size_t slotOf(const Node* parent, bool isKey, Units name) {
    size_t slot = reinterpret_cast<uintptr_t>(parent);
    slot = (slot >> 4) * 0x9E3779B97F4A7C15ull;
    return slot ^ (size_t{nameHash(name)} << 1) ^ (isKey ? 1u : 0u);
  }

  Item* find(Node* parent, bool isKey, Units name, size_t slot) const {
    if (bucketCount_ == 0) return nullptr;
    for (Item* item = buckets_[slot & (bucketCount_ - 1)]; item != nullptr; item = item->hashNext) {
      if (item->slot == slot && item->parent == parent && item->isKey == isKey && sameName(item->name.view(), name)) {
        return item;
      }
    }
    return nullptr;
  }

  Item* make(Node* parent, bool isKey, Units name, bool* added) {
    *added = false;
    const size_t slot = slotOf(parent, isKey, name);
    if (Item* found = find(parent, isKey, name, slot)) return found;
    Item* item = isKey ? static_cast<Item*>(new (std::nothrow) Node) : new (std::nothrow) Value;
    if (item == nullptr) return nullptr;
    item->isKey = isKey;
    if (!item->name.assign(name) || !growIndex()) {
      destroy(item);
      return nullptr;
    }
    *added = true;
    item->parent = parent;
    item->slot = slot;
    Item*& bucket = buckets_[item->slot & (bucketCount_ - 1)];
    item->hashNext = bucket;
    bucket = item;
    ++itemCount_;
    ItemList& list = item->isKey ? parent->keys : parent->values;
    item->previous = list.last;
    if (list.last != nullptr) {
      list.last->next = item;
    } else {
      list.first = item;
    }
    list.last = item;
    ++list.count;
    return item;
  }

  void unlink(Item* item) {
    ItemList& list = item->isKey ? item->parent->keys : item->parent->values;
    (item->previous != nullptr ? item->previous->next : list.first) = item->next;
    (item->next != nullptr ? item->next->previous : list.last) = item->previous;
    --list.count;
    Item** link = &buckets_[item->slot & (bucketCount_ - 1)];
    while (*link != item) link = &(*link)->hashNext;
    *link = item->hashNext;
    --itemCount_;
  }

  static void destroy(Item* item) {
    item->name.release();
    if (item->isKey) {
      delete static_cast<Node*>(item);
    } else {
      Value* value = static_cast<Value*>(item);
      value->data.release();
      delete value;
    }
  }

  // Keeps at most one item a bucket on average. When a larger index cannot
  // be had, the items share the buckets there are.
  bool growIndex() {
    if (itemCount_ < bucketCount_) return true;
    if (bucketCount_ > (SIZE_MAX / sizeof(Item*)) / 2) return bucketCount_ != 0;
    const size_t count = bucketCount_ == 0 ? 16 : bucketCount_ * 2;
    Item** buckets = static_cast<Item**>(std::calloc(count, sizeof(Item*)));
    if (buckets == nullptr) return bucketCount_ != 0;
    for (size_t b = 0; b < bucketCount_; ++b) {
      Item* item = buckets_[b];
      while (item != nullptr) {
        Item* next = item->hashNext;
        Item*& bucket = buckets[item->slot & (count - 1)];
        item->hashNext = bucket;
        bucket = item;
        item = next;
      }
    }
    std::free(buckets_);
    buckets_ = buckets;
    bucketCount_ = count;
    return true;
  }

  Node root_;
  Item** buckets_ = nullptr;
  size_t bucketCount_ = 0;  // 0 or a power of two
  size_t itemCount_ = 0;
};

// ---------------------------------------------------------------------------
// Key paths. A handle keeps its path as names joined by '\' with no empty
// name, "" for a root.
// ---------------------------------------------------------------------------

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Appends `subkey` to `base`: '/' becomes '\', one trailing separator is
// dropped (callers build paths from prefixes that end in one). False when the
// subkey has an empty name (a leading or doubled separator, or a separator
// alone) or memory runs out.
bool joinPath(Units base, Units subkey, Buffer<char16_t>* out, bool* invalid) {
  *invalid = false;
  out->append(base.data(), base.size());
  if (subkey.empty()) return !out->failed();
  if (isSeparator(subkey.back())) subkey.remove_suffix(1);
  bool nameStarts = true;
  for (const char16_t c : subkey) {
    if (isSeparator(c) && nameStarts) {
      *invalid = true;
      return false;
    }
    nameStarts = isSeparator(c);
  }
  if (nameStarts) {
    *invalid = true;
    return false;
  }
  if (!base.empty()) out->push(u'\\');
  for (const char16_t c : subkey) out->push(isSeparator(c) ? u'\\' : c);
  return !out->failed();
}

// The first name of `path` and what follows its separator.
Units firstName(Units path, Units* rest) {
  const size_t end = path.find(u'\\');
  if (end == Units::npos) {
    *rest = Units();
    return path;
  }
  *rest = path.substr(end + 1);
  return path.substr(0, end);
}

// The key at `path` (null when a key of it is missing).
Node* resolve(Tree& tree, Units path) {
  Node* node = tree.root();
  while (node != nullptr && !path.empty()) node = tree.findKey(node, firstName(path, &path));
  return node;
}

// ---------------------------------------------------------------------------
// Writing the file.
// ---------------------------------------------------------------------------

constexpr char kHeaderLine[] = "vrtools-registry 1";
constexpr char kEndLine[] = "end";

bool needsEscape(UChar32 c, bool keyName) {
  if (c < 0x20 || c == 0x7F || U_IS_SURROGATE(c)) return true;
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

// The whole file: root values, then every key parent first (depth first, in
// creation order). False when out of memory.
bool serialize(Tree& tree, Buffer<char>* out) {
  appendLiteral(out, kHeaderLine);
  out->push('\n');
  appendValues(out, tree.root());
  Buffer<char> path;        // the escaped path of the current key
  Buffer<size_t> marks;     // path lengths before each open key's name
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

// ---------------------------------------------------------------------------
// Reading the file.
// ---------------------------------------------------------------------------

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

enum class ParseResult : uint8_t { kOk, kCorrupt, kNoMemory };

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

// ---------------------------------------------------------------------------
// The store's files.
// ---------------------------------------------------------------------------

// The system side (unix/registry.inc).
bool defaultStoreDirectory(char* out, size_t size);
bool createStoreDirectory(const char* directory);
constexpr size_t kPathBytes = 4096;

constexpr const char* kRootFileNames[] = {"current_user.reg", "local_machine.reg"};

std::mutex directoryMutex;
char testDirectory[kPathBytes];  // empty: the default
bool testDirectoryTooLong = false;

// The directory and the file of a root; false when no directory can be
// named or the path is too long.
bool storePaths(Root root, char* directory, char* file) {
  {
    std::lock_guard<std::mutex> guard(directoryMutex);
    if (testDirectoryTooLong) return false;
    std::memcpy(directory, testDirectory, kPathBytes);
  }
  if (directory[0] == '\0' && !defaultStoreDirectory(directory, kPathBytes)) return false;
  const char* name = kRootFileNames[static_cast<size_t>(root)];
  const size_t directoryLength = std::strlen(directory);
  const size_t nameLength = std::strlen(name);
  if (directoryLength + 1 + nameLength >= kPathBytes) return false;
  std::memcpy(file, directory, directoryLength);
  file[directoryLength] = '/';
  std::memcpy(file + directoryLength + 1, name, nameLength + 1);
  return true;
}

// What this process last read or wrote of a root's file: the text and the
// tree parsed from it. Every call still reads the file, but parses it only
// when its text differs, so enumerating a large key by index stays cheap. The
// tree always matches the text exactly; it serves whatever file shows the same
// text, whichever directory that file is in.
struct Snapshot {
  std::mutex mutex;
  bool filled = false;   // false: nothing known, parse whatever is read
  bool missing = false;  // the file did not exist (an empty tree)
  char* text = nullptr;  // std::malloc
  size_t size = 0;
  Tree* tree = nullptr;
};

// Never destroyed: a host process may call in while it exits.
Snapshot snapshots[2];

// A root's snapshot, locked and brought up to date with its file for the
// length of one call.
class CurrentTree {
 public:
  explicit CurrentTree(Root root) : snapshot_(snapshots[static_cast<size_t>(root)]) {}
  CurrentTree(const CurrentTree&) = delete;
  CurrentTree& operator=(const CurrentTree&) = delete;

  // Reads `file`; a missing file (or directory) is an empty tree, anything
  // unreadable or malformed kIoError (the snapshot then stays as it was).
  Status load(const char* file) {
    char* text = nullptr;
    size_t size = 0;
    const ErrorNumber error = readWholeFile(file, &text, &size);
    if (error != kErrorNone && error != kErrorNotFound) return Status::kIoError;
    const bool missing = error == kErrorNotFound;
    guard_ = std::unique_lock<std::mutex>(snapshot_.mutex);
    if (snapshot_.filled && snapshot_.missing == missing &&
        (missing || (snapshot_.size == size && std::memcmp(snapshot_.text, text, size) == 0))) {
      std::free(text);
      return Status::kOk;
    }
    Tree* tree = new (std::nothrow) Tree;
    if (tree == nullptr ||
        (!missing && Parser(std::string_view(text, size), tree).run() != ParseResult::kOk)) {
      delete tree;
      std::free(text);
      return Status::kIoError;
    }
    replace(missing, text, size, tree);
    return Status::kOk;
  }

  Tree& tree() { return *snapshot_.tree; }

  // After a change of the tree: it now matches `text`, a copy of which is
  // kept. Without the memory for the copy the snapshot is dropped.
  void changed(const char* text, size_t size) {
    char* copy = static_cast<char*>(std::malloc(size > 0 ? size : 1));
    if (copy == nullptr) {
      forget();
      return;
    }
    std::memcpy(copy, text, size);
    snapshot_.missing = false;
    std::free(snapshot_.text);
    snapshot_.text = copy;
    snapshot_.size = size;
  }

  // The tree was changed but matches no text (a change cut short).
  void forget() { replace(false, nullptr, 0, nullptr); }

 private:
  void replace(bool missing, char* text, size_t size, Tree* tree) {
    delete snapshot_.tree;
    std::free(snapshot_.text);
    snapshot_.filled = tree != nullptr;
    snapshot_.missing = missing;
    snapshot_.text = text;
    snapshot_.size = size;
    snapshot_.tree = tree;
  }

  Snapshot& snapshot_;
  std::unique_lock<std::mutex> guard_;
};

// ---------------------------------------------------------------------------
// Handles.
// ---------------------------------------------------------------------------

}  // namespace

// An open key: its root and its path. Keys are found again by path on every
// call, so a handle outlives nothing: once its key is deleted it answers
// kNotFound.
struct Key {
  Root root;
  Text path;
  Key* previousOpen;
  Key* nextOpen;
};

namespace {

Key rootKeys[] = {{Root::kCurrentUser, {}, nullptr, nullptr}, {Root::kLocalMachine, {}, nullptr, nullptr}};

// Every handle given out and not yet closed, so a closed or made-up handle
// is refused without being touched.
std::mutex handlesMutex;
Key* openKeys = nullptr;

bool isRootKey(const Key* key) { return key == &rootKeys[0] || key == &rootKeys[1]; }

bool isOpen(const Key* key) {
  for (const Key* open = openKeys; open != nullptr; open = open->nextOpen) {
    if (open == key) return true;
  }
  return false;
}

// What a call needs of its handle: the root and a copy of the path (the
// handle may be closed by another thread while the call runs).
struct Target {
  Root root = Root::kCurrentUser;
  Buffer<char16_t> path;
  size_t handleLength = 0;  // the units of `path` that are the handle's own
  char directory[kPathBytes];
  char file[kPathBytes];
};

// Checks the handle and joins `subkey` to its path; `subkey` must name a key
// when `needName` is set.
Status prepare(KeyHandle key, Units subkey, bool needName, Target* target) {
  if (key == nullptr) return Status::kInvalid;
  bool invalid = false;
  {
    std::lock_guard<std::mutex> guard(handlesMutex);
    if (!isRootKey(key) && !isOpen(key)) return Status::kInvalid;
    target->root = key->root;
    target->handleLength = key->path.size;
    if (!joinPath(key->path.view(), subkey, &target->path, &invalid)) {
      return invalid ? Status::kInvalid : Status::kIoError;
    }
  }
  if (needName && target->path.size() == target->handleLength) return Status::kInvalid;
  if (!storePaths(target->root, target->directory, target->file)) return Status::kIoError;
  return Status::kOk;
}

Units pathOf(Target& target) { return Units(target.path.data(), target.path.size()); }

Status newHandle(Target& target, KeyHandle* out) {
  Key* key = new (std::nothrow) Key{target.root, {}, nullptr, nullptr};
  if (key == nullptr) return Status::kIoError;
  if (!key->path.assign(pathOf(target))) {
    delete key;
    return Status::kIoError;
  }
  std::lock_guard<std::mutex> guard(handlesMutex);
  key->nextOpen = openKeys;
  if (openKeys != nullptr) openKeys->previousOpen = key;
  openKeys = key;
  *out = key;
  return Status::kOk;
}

// Runs `change(tree, &changed)` on the current tree of the target's root
// under the update lock, and writes the tree back when it changed. The
// store's directory is made on the first change. A file that cannot be read
// is never overwritten.
template <typename Change>
Status update(Target& target, Change change) {
  FileUpdateLock lock;
  ErrorNumber error = lock.acquire(target.file);
  if (error == kErrorNotFound) {
    // No directory, so no store yet: only a change of the empty tree needs
    // one made.
    Tree empty;
    bool changed = false;
    const Status status = change(empty, &changed);
    if (!changed) return status;
    if (!createStoreDirectory(target.directory)) return Status::kIoError;
    error = lock.acquire(target.file);
  }
  if (error != kErrorNone) return Status::kIoError;
  CurrentTree current(target.root);
  Status status = current.load(target.file);
  if (status != Status::kOk) return status;
  bool changed = false;
  status = change(current.tree(), &changed);
  if (!changed) return status;
  Buffer<char> text;
  if (status != Status::kOk || !serialize(current.tree(), &text)) {
    current.forget();
    return Status::kIoError;
  }
  // The snapshot follows the tree even should the write fail: it then
  // matches no file and the next call parses the file again.
  current.changed(text.data(), text.size());
  return replaceFileAtomically(target.file, text.data(), text.size()) == kErrorNone ? Status::kOk : Status::kIoError;
}

// The target's key in the current tree of its root; readers take no file
// lock, since a replacement is a rename and they read either file whole.
Status readKey(Target& target, CurrentTree* current, Node** node) {
  const Status status = current->load(target.file);
  if (status != Status::kOk) return status;
  *node = resolve(current->tree(), pathOf(target));
  return *node != nullptr ? Status::kOk : Status::kNotFound;
}

// Runs `read(tree, node)` on the key of handle `key` in the current tree of
// its root; kNotFound when the key is gone.
template <typename Read>
Status readAt(KeyHandle key, Read read) {
  Target target;
  Status status = prepare(key, Units(), false, &target);
  if (status != Status::kOk) return status;
  CurrentTree current(target.root);
  Node* node = nullptr;
  status = readKey(target, &current, &node);
  if (status != Status::kOk) return status;
  return read(current.tree(), node);
}

// Runs `change(tree, node, &changed)` through update() on the key that
// `subkey` names below handle `key`; kNotFound when that key is missing.
template <typename Change>
Status changeAt(KeyHandle key, Units subkey, bool needName, Change change) {
  Target target;
  const Status status = prepare(key, subkey, needName, &target);
  if (status != Status::kOk) return status;
  return update(target, [&](Tree& tree, bool* changed) {
    Node* node = resolve(tree, pathOf(target));
    if (node == nullptr) return Status::kNotFound;
    return change(tree, node, changed);
  });
}

// Copies an item's name for the enumerations: terminated into `buffer` of
// *units units, *units then the name's units; kMoreData with the units
// needed (terminator included) when it does not fit.
Status copyName(Units name, char16_t* buffer, size_t* units) {
  if (buffer == nullptr || *units <= name.size()) {
    *units = name.size() + 1;
    return Status::kMoreData;
  }
  if (!name.empty()) std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
  buffer[name.size()] = u'\0';
  *units = name.size();
  return Status::kOk;
}

const Item* itemAt(const ItemList& list, uint32_t index) {
  if (index >= list.count) return nullptr;
  const Item* item = list.first;
  for (uint32_t i = 0; i < index; ++i) item = item->next;
  return item;
}

}  // namespace

// ---------------------------------------------------------------------------
// The interface.
// ---------------------------------------------------------------------------

KeyHandle rootKey(Root root) noexcept {
  return root == Root::kLocalMachine ? &rootKeys[1] : &rootKeys[0];
}

Status openKey(KeyHandle parent, std::u16string_view subkey, KeyHandle* out) noexcept {
  if (out == nullptr) return Status::kInvalid;
  *out = nullptr;
  Target target;
  Status status = prepare(parent, subkey, false, &target);
  if (status != Status::kOk) return status;
  if (target.path.size() > 0) {
    CurrentTree current(target.root);
    Node* node = nullptr;
    status = readKey(target, &current, &node);
    if (status != Status::kOk) return status;
  }
  return newHandle(target, out);
}

Status createKey(KeyHandle parent, std::u16string_view subkey, KeyHandle* out) noexcept {
  if (out == nullptr) return Status::kInvalid;
  *out = nullptr;
  Target target;
  Status status = prepare(parent, subkey, false, &target);
  if (status != Status::kOk) return status;
  // The parent's own key must still exist; the names below it are made.
  const size_t parentLength = target.handleLength;
  status = update(target, [&](Tree& tree, bool* changed) {
    Units path = pathOf(target);
    Node* node = resolve(tree, path.substr(0, parentLength));
    if (node == nullptr) return Status::kNotFound;
    Units rest = path.substr(parentLength);
    if (!rest.empty() && rest[0] == u'\\') rest.remove_prefix(1);
    while (!rest.empty()) {
      bool added = false;
      node = tree.makeKey(node, firstName(rest, &rest), &added);
      *changed = *changed || added;
      if (node == nullptr) return Status::kIoError;
    }
    return Status::kOk;
  });
  if (status != Status::kOk) return status;
  return newHandle(target, out);
}

void closeKey(KeyHandle key) noexcept {
  if (key == nullptr || isRootKey(key)) return;
  {
    std::lock_guard<std::mutex> guard(handlesMutex);
    if (!isOpen(key)) return;  // closed already: nothing to give back
    (key->previousOpen != nullptr ? key->previousOpen->nextOpen : openKeys) = key->nextOpen;
    if (key->nextOpen != nullptr) key->nextOpen->previousOpen = key->previousOpen;
  }
  key->path.release();
  delete key;
}

Status queryString(KeyHandle key, std::u16string_view name, char16_t* buffer, size_t* units) noexcept {
  if (units == nullptr) return Status::kInvalid;
  return readAt(key, [&](Tree& tree, Node* node) {
    const Value* value = tree.findValue(node, name);
    if (value == nullptr) return Status::kNotFound;
    const size_t needed = value->data.size + 1;
    if (buffer == nullptr) {
      *units = needed;
      return Status::kOk;
    }
    if (*units < needed) {
      *units = needed;
      return Status::kMoreData;
    }
    if (value->data.size > 0) std::memcpy(buffer, value->data.units, value->data.size * sizeof(char16_t));
    buffer[value->data.size] = u'\0';
    *units = needed;
    return Status::kOk;
  });
}

Status setString(KeyHandle key, std::u16string_view name, std::u16string_view value) noexcept {
  return changeAt(key, Units(), false, [&](Tree& tree, Node* node, bool* changed) {
    bool added = false;
    Value* stored = tree.makeValue(node, name, &added);
    if (stored == nullptr) return Status::kIoError;
    if (!added && stored->data.view() == value) return Status::kOk;
    *changed = true;
    return stored->data.assign(value) ? Status::kOk : Status::kIoError;
  });
}

Status deleteValue(KeyHandle key, std::u16string_view name) noexcept {
  return changeAt(key, Units(), false, [&](Tree& tree, Node* node, bool* changed) {
    Value* stored = tree.findValue(node, name);
    if (stored == nullptr) return Status::kNotFound;
    tree.remove(stored);
    *changed = true;
    return Status::kOk;
  });
}

Status deleteKey(KeyHandle parent, std::u16string_view subkey) noexcept {
  return changeAt(parent, subkey, true, [&](Tree& tree, Node* node, bool* changed) {
    if (node->keys.count > 0) return Status::kHasSubkeys;
    tree.remove(node);
    *changed = true;
    return Status::kOk;
  });
}

Status enumKey(KeyHandle key, uint32_t index, char16_t* name, size_t* units) noexcept {
  if (units == nullptr) return Status::kInvalid;
  return readAt(key, [&](Tree&, Node* node) {
    const Item* item = itemAt(node->keys, index);
    if (item == nullptr) return Status::kNoMoreItems;
    return copyName(item->name.view(), name, units);
  });
}

Status enumValue(KeyHandle key, uint32_t index, char16_t* name, size_t* units, size_t* dataUnits) noexcept {
  if (units == nullptr) return Status::kInvalid;
  return readAt(key, [&](Tree&, Node* node) {
    const Item* item = itemAt(node->values, index);
    if (item == nullptr) return Status::kNoMoreItems;
    if (dataUnits != nullptr) *dataUnits = static_cast<const Value*>(item)->data.size + 1;
    return copyName(item->name.view(), name, units);
  });
}

void setDirectoryForTesting(const char* directory) noexcept {
  std::lock_guard<std::mutex> guard(directoryMutex);
  testDirectory[0] = '\0';
  testDirectoryTooLong = false;
  if (directory == nullptr) return;
  const size_t length = std::strlen(directory);
  // A directory too long to use fails every call rather than let a test
  // fall back to the real store.
  testDirectoryTooLong = length >= kPathBytes;
  if (!testDirectoryTooLong) std::memcpy(testDirectory, directory, length + 1);
}

}  // namespace platform::registry

#include "unix/registry.inc"
