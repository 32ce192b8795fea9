// JuList: the intrusive ring and its cursor.

#include <gtest/gtest.h>

#include <vector>

#include "julib/object.h"

namespace {

// A node that records its destruction.
struct Tracked : JuNode {
  explicit Tracked(int id, std::vector<int>* deleted = nullptr) : id(id), deleted(deleted) {}
  ~Tracked() override {
    if (deleted != nullptr) deleted->push_back(id);
  }
  int id;
  std::vector<int>* deleted;
};

std::vector<int> ids(JuList& list) {
  std::vector<int> out;
  for (uint64_t i = 0; i < list.count; ++i) out.push_back(static_cast<Tracked*>(list.getAt(i))->id);
  return out;
}

TEST(JuList, AppendMovesTailPrependKeepsIt) {
  Tracked a(1), b(2), c(3);
  JuList list;
  list.append(&a);
  EXPECT_EQ(list.tail, &a);
  EXPECT_EQ(a.next, &a);  // a ring of one
  list.append(&b);
  EXPECT_EQ(list.tail, &b);
  list.prepend(&c);
  EXPECT_EQ(list.tail, &b);
  EXPECT_EQ(ids(list), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(list.tail->next, &c);  // the tail links to the head
}

TEST(JuList, InsertAtPlacesByIndex) {
  Tracked n[5] = {Tracked(0), Tracked(1), Tracked(2), Tracked(3), Tracked(4)};
  JuList list;
  list.insertAt(&n[1], 0);  // empty: becomes the only node
  list.insertAt(&n[3], 1);  // index == count appends
  list.insertAt(&n[0], 0);  // prepends
  list.insertAt(&n[2], 2);  // in the middle
  list.insertAt(&n[4], 99);  // beyond count appends
  EXPECT_EQ(ids(list), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(list.tail, &n[4]);
  list.moveLastTo(1);
  EXPECT_EQ(ids(list), (std::vector<int>{0, 4, 1, 2, 3}));
  EXPECT_EQ(list.tail, &n[3]);
}

TEST(JuList, RemoveOnlyNodeEmptiesList) {
  Tracked a(1);
  JuList list;
  list.append(&a);
  list.remove(&a);
  EXPECT_EQ(list.tail, nullptr);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(a.next, nullptr);
  EXPECT_EQ(list.removeFirst(), nullptr);
  EXPECT_EQ(list.removeLast(), nullptr);
}

TEST(JuList, RemoveTailAndHead) {
  Tracked a(1), b(2), c(3);
  JuList list;
  list.append(&a);
  list.append(&b);
  list.append(&c);
  EXPECT_EQ(list.removeLast(), &c);
  EXPECT_EQ(list.tail, &b);
  EXPECT_EQ(list.removeFirst(), &a);
  EXPECT_EQ(list.tail, &b);
  EXPECT_EQ(b.next, &b);
  EXPECT_EQ(list.count, 1u);
}

TEST(JuList, RemoveOfForeignNodeChangesNothingAndEnds) {
  Tracked a(1), b(2), stranger(9), other(8);
  JuList list, elsewhere;
  list.append(&a);
  list.append(&b);
  elsewhere.append(&other);
  list.remove(&stranger);
  list.remove(&other);
  EXPECT_EQ(list.count, 2u);
  EXPECT_EQ(ids(list), (std::vector<int>{1, 2}));
  EXPECT_EQ(elsewhere.count, 1u);
}

TEST(JuList, CursorFollowsGetAtAndRemove) {
  Tracked a(1), b(2), c(3), stranger(9);
  JuList list;
  EXPECT_EQ(list.getAt(0), nullptr);
  list.append(&a);
  list.append(&b);
  list.append(&c);
  EXPECT_EQ(list.getAt(3), nullptr);
  EXPECT_EQ(list.cursor, nullptr);
  EXPECT_EQ(list.getAt(1), &b);
  EXPECT_EQ(list.cursor, &b);
  list.remove(&c);  // another node: the cursor stays
  EXPECT_EQ(list.cursor, &b);
  list.remove(&b);  // the node under the cursor: cleared
  EXPECT_EQ(list.cursor, nullptr);
  list.setCursor(&a);
  EXPECT_EQ(list.cursor, &a);
  list.setCursor(&stranger);
  EXPECT_EQ(list.cursor, &a);
  EXPECT_EQ(list.resetCursor(), list.tail);
}

TEST(JuList, DeleteAllDestroysEachNodeOnceHeadFirst) {
  std::vector<int> deleted;
  JuList list;
  for (int i = 1; i <= 4; ++i) list.append(new Tracked(i, &deleted));
  list.deleteAll();
  EXPECT_EQ(deleted, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(list.tail, nullptr);
  EXPECT_EQ(list.cursor, nullptr);
}

}  // namespace
