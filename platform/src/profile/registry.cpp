// The registry stand-in (platform/registry.h): handles and the key
// operations. Each root is a tree of keys and string values (registry_tree.h)
// kept in one text file (registry_format.h); every operation works on the
// root's snapshot brought up to date with that file (registry_store.h), and
// every change is a read-modify-write under the update lock of
// platform/locked_file.h.

#include "platform/profile/registry.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "growable_buffer.h"
#include "platform/files.h"
#include "platform/lock.h"
#include "platform/locked_file.h"
#include "profile/registry_format.h"
#include "profile/registry_store.h"
#include "profile/registry_tree.h"

namespace platform::registry {
namespace {

using platform::internal::Buffer;
using internal::createStoreDirectory;
using internal::CurrentTree;
using internal::firstName;
using internal::Item;
using internal::kPathBytes;
using internal::Node;
using internal::resolve;
using Reuse = internal::CurrentTree::Reuse;
using internal::serialize;
using internal::storePaths;
using internal::Text;
using internal::Tree;
using internal::Units;
using internal::Value;

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
Lock handlesLock;
[[maybe_unused]] const bool handlesLockKept = keepAcrossFork(handlesLock, ForkStage::kPlatformInner);
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
    std::lock_guard<Lock> guard(handlesLock);
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
  std::lock_guard<Lock> guard(handlesLock);
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
  Status status = current.load(target.file, Reuse::kNever);
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
Status readKey(Target& target, Reuse reuse, CurrentTree* current, Node** node) {
  const Status status = current->load(target.file, reuse);
  if (status != Status::kOk) return status;
  *node = resolve(current->tree(), pathOf(target));
  return *node != nullptr ? Status::kOk : Status::kNotFound;
}

// Runs `read(tree, node)` on the key of handle `key` in the current tree of
// its root; kNotFound when the key is gone.
template <typename Read>
Status readAt(KeyHandle key, Reuse reuse, Read read) {
  Target target;
  Status status = prepare(key, Units(), false, &target);
  if (status != Status::kOk) return status;
  CurrentTree current(target.root);
  Node* node = nullptr;
  status = readKey(target, reuse, &current, &node);
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
    status = readKey(target, Reuse::kNever, &current, &node);
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
    std::lock_guard<Lock> guard(handlesLock);
    if (!isOpen(key)) return;  // closed already: nothing to give back
    (key->previousOpen != nullptr ? key->previousOpen->nextOpen : openKeys) = key->nextOpen;
    if (key->nextOpen != nullptr) key->nextOpen->previousOpen = key->previousOpen;
  }
  key->path.release();
  delete key;
}

Status queryString(KeyHandle key, std::u16string_view name, char16_t* buffer, size_t* units) noexcept {
  if (units == nullptr) return Status::kInvalid;
  return readAt(key, Reuse::kNever, [&](Tree& tree, Node* node) {
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
  return readAt(key, Reuse::kWhileUnchanged, [&](Tree& tree, Node* node) {
    const Item* item = tree.itemAt(node->keys, index);
    if (item == nullptr) return Status::kNoMoreItems;
    return copyName(item->name.view(), name, units);
  });
}

Status enumValue(KeyHandle key, uint32_t index, char16_t* name, size_t* units, size_t* dataUnits) noexcept {
  if (units == nullptr) return Status::kInvalid;
  return readAt(key, Reuse::kWhileUnchanged, [&](Tree& tree, Node* node) {
    const Item* item = tree.itemAt(node->values, index);
    if (item == nullptr) return Status::kNoMoreItems;
    if (dataUnits != nullptr) *dataUnits = static_cast<const Value*>(item)->data.size + 1;
    return copyName(item->name.view(), name, units);
  });
}

}  // namespace platform::registry
