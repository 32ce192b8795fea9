// The tree of one registry root (registry_tree.h).

#include "profile/registry_tree.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/checked_size.h"

namespace platform::registry::internal {

// ---------------------------------------------------------------------------
// Owned text and names.
// ---------------------------------------------------------------------------

void Text::release() {
  std::free(units);
  units = nullptr;
  size = 0;
}

bool Text::assign(Units value) {
  char16_t* copy = nullptr;
  if (!value.empty()) {
    size_t bytes = 0;
    if (!arrayBytes(&bytes, value.size(), sizeof(char16_t))) return false;
    copy = static_cast<char16_t*>(std::malloc(bytes));
    if (copy == nullptr) return false;
    std::memcpy(copy, value.data(), bytes);
  }
  std::free(units);
  units = copy;
  size = value.size();
  return true;
}

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

namespace {

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

}  // namespace

// ---------------------------------------------------------------------------
// The tree.
// ---------------------------------------------------------------------------

Tree::~Tree() {
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

void Tree::remove(Item* item) {
  if (item->isKey) {
    Node* node = static_cast<Node*>(item);
    while (node->values.first != nullptr) remove(node->values.first);
  }
  unlink(item);
  destroy(item);
}

const Item* Tree::itemAt(const ItemList& list, size_t index) const {
  if (index >= list.count) return nullptr;
  const Item* item = list.first;
  size_t at = 0;
  if (cursorList_ == &list && cursorIndex_ <= index) {
    item = cursorItem_;
    at = cursorIndex_;
  }
  for (; at < index; ++at) item = item->next;
  cursorList_ = &list;
  cursorItem_ = item;
  cursorIndex_ = index;
  return item;
}

size_t Tree::slotOf(const Node* parent, bool isKey, Units name) {
  size_t slot = reinterpret_cast<uintptr_t>(parent);
  slot = (slot >> 4) * 0x9E3779B97F4A7C15ull;
  return slot ^ (size_t{nameHash(name)} << 1) ^ (isKey ? 1u : 0u);
}

Item* Tree::find(Node* parent, bool isKey, Units name, size_t slot) const {
  if (bucketCount_ == 0) return nullptr;
  for (Item* item = buckets_[slot & (bucketCount_ - 1)]; item != nullptr; item = item->hashNext) {
    if (item->slot == slot && item->parent == parent && item->isKey == isKey && sameName(item->name.view(), name)) {
      return item;
    }
  }
  return nullptr;
}

Item* Tree::make(Node* parent, bool isKey, Units name, bool* added) {
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

void Tree::unlink(Item* item) {
  cursorList_ = nullptr;  // the items after it move up
  ItemList& list = item->isKey ? item->parent->keys : item->parent->values;
  (item->previous != nullptr ? item->previous->next : list.first) = item->next;
  (item->next != nullptr ? item->next->previous : list.last) = item->previous;
  --list.count;
  Item** link = &buckets_[item->slot & (bucketCount_ - 1)];
  while (*link != item) link = &(*link)->hashNext;
  *link = item->hashNext;
  --itemCount_;
}

void Tree::destroy(Item* item) {
  item->name.release();
  if (item->isKey) {
    delete static_cast<Node*>(item);
  } else {
    Value* value = static_cast<Value*>(item);
    value->data.release();
    delete value;
  }
}

// Keeps at most one item a bucket on average. When a larger index cannot be
// had, the items share the buckets there are. The index is rebuilt rather
// than grown in place: every item moves to the bucket of its slot.
bool Tree::growIndex() {
  if (itemCount_ < bucketCount_) return true;
  // Doubling keeps the count a power of two, which the slot mask needs.
  size_t count = 16, bytes = 0;
  if (bucketCount_ != 0 && (!multiplySizes(&count, bucketCount_, 2) || !arrayBytes(&bytes, count, sizeof(Item*)))) {
    return true;  // the index stays as it is; chains grow longer
  }
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

// ---------------------------------------------------------------------------
// Key paths.
// ---------------------------------------------------------------------------

Units firstName(Units path, Units* rest) {
  const size_t end = path.find(u'\\');
  if (end == Units::npos) {
    *rest = Units();
    return path;
  }
  *rest = path.substr(end + 1);
  return path.substr(0, end);
}

Node* resolve(Tree& tree, Units path) {
  Node* node = tree.root();
  while (node != nullptr && !path.empty()) node = tree.findKey(node, firstName(path, &path));
  return node;
}

}  // namespace platform::registry::internal
