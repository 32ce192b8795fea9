// The tree of one registry root: keys and string values, names that ignore
// case and keep it, found through a hash index and listed in the order they
// were created. Pure memory: reading and writing it is registry_format.h's.
#ifndef PLATFORM_SRC_PROFILE_REGISTRY_TREE_H
#define PLATFORM_SRC_PROFILE_REGISTRY_TREE_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform::registry::internal {

using Units = std::u16string_view;

// ---------------------------------------------------------------------------
// Owned text and names.
// ---------------------------------------------------------------------------

// Units owned on malloc; no terminator is kept.
struct Text {
  char16_t* units = nullptr;
  size_t size = 0;

  Units view() const { return Units(units, size); }
  void release();
  // Replaces the text by a copy of `value`; false (unchanged) when out of
  // memory.
  bool assign(Units value);
};

// Names are equal when their code points are equal after u_toupper, one by
// one (simple upper-casing, as the Windows registry compares); a lone
// surrogate stands for itself.
//   sameName(u"Ärger", u"äRGER") -> true, sameName(u"straße", u"STRASSE") -> false
bool sameName(Units a, Units b);

// ---------------------------------------------------------------------------
// Items.
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

// ---------------------------------------------------------------------------
// The tree.
// ---------------------------------------------------------------------------

class Tree {
 public:
  Tree() { root_.isKey = true; }
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  Node* root() { return &root_; }
  const Node* root() const { return &root_; }

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
  void remove(Item* item);

  // The item at `index` of `list` (a list of this tree), null past the last.
  // A listing asks for index 0, 1, 2...: each goes on from the item found
  // before, so listing a key is linear in its items.
  const Item* itemAt(const ItemList& list, size_t index) const;

 private:
  static size_t slotOf(const Node* parent, bool isKey, Units name);
  Item* find(Node* parent, bool isKey, Units name, size_t slot) const;
  Item* make(Node* parent, bool isKey, Units name, bool* added);
  void unlink(Item* item);
  static void destroy(Item* item);
  bool growIndex();

  Node root_;
  Item** buckets_ = nullptr;
  size_t bucketCount_ = 0;  // 0 or a power of two
  size_t itemCount_ = 0;
  // Where itemAt last stopped; forgotten when an item is removed (an item
  // made goes last and moves none).
  mutable const ItemList* cursorList_ = nullptr;
  mutable const Item* cursorItem_ = nullptr;
  mutable size_t cursorIndex_ = 0;
};

// ---------------------------------------------------------------------------
// Key paths: names joined by '\' with no empty name, "" for the root.
// ---------------------------------------------------------------------------

// The first name of `path` and what follows its separator.
//   firstName(u"A\\B\\C", &rest) -> u"A", rest u"B\\C"
Units firstName(Units path, Units* rest);

// The key at `path` (null when a key of it is missing).
Node* resolve(Tree& tree, Units path);

}  // namespace platform::registry::internal

#endif  // PLATFORM_SRC_PROFILE_REGISTRY_TREE_H
