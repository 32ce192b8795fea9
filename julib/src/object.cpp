// JuObject, JuNode and the intrusive ring JuList.

#include "julib/object.h"

JuObject::~JuObject() = default;

int16_t JuObject::compare(const JuObject&) const { return 0; }

JuNode::~JuNode() = default;

JuList::~JuList() = default;

void JuList::append(JuNode* node) {
  if (tail == nullptr) {
    node->next = node;
  } else {
    node->next = tail->next;
    tail->next = node;
  }
  tail = node;
  ++count;
}

void JuList::prepend(JuNode* node) {
  if (tail == nullptr) {
    append(node);
    return;
  }
  node->next = tail->next;
  tail->next = node;
  ++count;
}

void JuList::insertAt(JuNode* node, uint64_t index) {
  if (index == 0) {
    prepend(node);
    return;
  }
  if (index >= count) {
    append(node);
    return;
  }
  JuNode* before = getAt(index - 1);
  node->next = before->next;
  before->next = node;
  ++count;
}

void JuList::moveLastTo(uint64_t index) {
  JuNode* node = tail;
  if (node == nullptr) return;
  remove(node);
  insertAt(node, index);
}

JuNode* JuList::removeFirst() {
  if (tail == nullptr) return nullptr;
  JuNode* head = tail->next;
  remove(head);
  return head;
}

JuNode* JuList::removeLast() {
  if (tail == nullptr) return nullptr;
  JuNode* last = tail;
  remove(last);
  return last;
}

void JuList::remove(JuNode* node) {
  if (tail == nullptr || node == nullptr) return;
  // Find the predecessor within one turn of the ring, so a node of another
  // list cannot make the walk go round forever.
  JuNode* previous = tail;
  uint64_t steps = 0;
  while (previous->next != node) {
    previous = previous->next;
    if (++steps >= count) return;
  }
  if (previous == node) {
    tail = nullptr;  // the only node
  } else {
    previous->next = node->next;
    if (tail == node) tail = previous;
  }
  node->next = nullptr;
  --count;
  if (cursor == node) cursor = nullptr;
}

JuNode* JuList::getAt(uint64_t index) {
  JuNode* node = tail == nullptr ? nullptr : tail->next;
  for (uint64_t i = 0; i < index && node != nullptr; ++i) node = node == tail ? nullptr : node->next;
  cursor = node;
  return node;
}

JuNode* JuList::resetCursor() {
  cursor = tail;
  return cursor;
}

void JuList::setCursor(JuNode* node) {
  if (contains(node)) cursor = node;
}

void JuList::deleteAll() {
  while (tail != nullptr) {
    JuNode* head = tail->next;
    cursor = head;
    remove(head);
    delete head;
  }
  cursor = nullptr;
}

bool JuList::contains(const JuNode* node) const {
  if (tail == nullptr || node == nullptr) return false;
  const JuNode* walk = tail;
  for (uint64_t i = 0; i < count; ++i) {
    walk = walk->next;
    if (walk == node) return true;
  }
  return false;
}
