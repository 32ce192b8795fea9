// JuSortedArray and JuSortedArrayJUSIZE_T: ordered insertion, searching,
// duplicates and sorting.

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "julib/containers.h"
#include "julib/internal/fault.h"
#include "testing/ju_test.h"

namespace {

// A value with an identity; compare looks only at the value.
class Item : public JuObject {
 public:
  Item(int value, int id, int* deaths = nullptr) : value(value), id(id), deaths_(deaths) {}
  ~Item() override {
    if (deaths_ != nullptr) ++*deaths_;
  }
  int16_t compare(const JuObject& other) const override {
    int o = static_cast<const Item&>(other).value;
    return static_cast<int16_t>((value > o) - (value < o));
  }
  int value;
  int id;

 private:
  int* deaths_;
};

// (value, id) of every element, null as (-1, -1).
std::vector<std::pair<int, int>> contents(const JuSortedArray& array) {
  std::vector<std::pair<int, int>> out;
  for (uint64_t i = 0; i < array.count; ++i) {
    auto* item = static_cast<Item*>(array.objectAt(i));
    out.emplace_back(item ? item->value : -1, item ? item->id : -1);
  }
  return out;
}

// Owns its items, so every test frees what it inserted.
struct OwningSortedArray : JuSortedArray {
  OwningSortedArray() { flags |= kOwnsElements; }
};

using SortedArrayTest = jutest::JuTest;
using Pairs = std::vector<std::pair<int, int>>;

// ---------------------------------------------------------------------------
// Insertion.
// ---------------------------------------------------------------------------

TEST_F(SortedArrayTest, InsertKeepsOrderAndEqualRunsInInsertionOrder) {
  struct Row {
    std::vector<int> values;  // ids are the insertion order
    Pairs expected;
    const char* note;
  };
  const Row rows[] = {
      {{5, 5, 5}, {{5, 0}, {5, 1}, {5, 2}}, "three equal: insertion order"},
      {{5, 7, 1}, {{1, 2}, {5, 0}, {7, 1}}, "less than all goes first"},
      {{5, 1, 9}, {{1, 1}, {5, 0}, {9, 2}}, "greater than all goes last"},
      {{3, 1, 3, 2, 1, 3}, {{1, 1}, {1, 4}, {2, 3}, {3, 0}, {3, 2}, {3, 5}}, "mixed runs"},
      {{4}, {{4, 0}}, "one"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    OwningSortedArray array;
    for (size_t i = 0; i < row.values.size(); ++i) {
      ASSERT_EQ(0, array.insert(new Item(row.values[i], static_cast<int>(i))));
    }
    EXPECT_EQ(row.expected, contents(array));
  }
}

TEST_F(SortedArrayTest, AppendModesInsertInCallOrder) {
  for (uint32_t mode : {1u, 2u, 3u}) {
    SCOPED_TRACE(mode);
    OwningSortedArray array;
    array.mode = mode;
    for (int v : {3, 1, 2}) ASSERT_EQ(0, array.insert(new Item(v, v)));
    EXPECT_EQ((Pairs{{3, 3}, {1, 1}, {2, 2}}), contents(array));
  }
}

TEST_F(SortedArrayTest, ManyRandomInsertionsStaySortedAndStable) {
  std::mt19937 random(7);
  OwningSortedArray array;
  Pairs expected;
  for (int i = 0; i < 500; ++i) {
    int v = static_cast<int>(random() % 40);
    ASSERT_EQ(0, array.insert(new Item(v, i)));
    expected.emplace_back(v, i);
  }
  std::stable_sort(expected.begin(), expected.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  EXPECT_EQ(expected, contents(array));
}

TEST_F(SortedArrayTest, FailedInsertLeavesArrayUnchanged) {
  OwningSortedArray array;
  array.growthStep = 2;
  ASSERT_EQ(0, array.insert(new Item(1, 0)));
  ASSERT_EQ(0, array.insert(new Item(3, 1)));
  Item extra(2, 2);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(1, array.insert(&extra));
  julib::internal::clearAllocationFault();
  EXPECT_EQ((Pairs{{1, 0}, {3, 1}}), contents(array));
  EXPECT_EQ(2u, array.capacity);
  EXPECT_EQ(1, errors_.list().pendingOutOfMemory);
}

TEST_F(SortedArrayTest, NullElementsSortFirst) {
  OwningSortedArray array;
  ASSERT_EQ(0, array.insert(new Item(2, 0)));
  ASSERT_EQ(0, array.insert(nullptr));
  ASSERT_EQ(0, array.insert(new Item(1, 1)));
  ASSERT_EQ(0, array.insert(nullptr));
  EXPECT_EQ((Pairs{{-1, -1}, {-1, -1}, {1, 1}, {2, 0}}), contents(array));
  uint64_t position = 99;
  Item probe(0, 9);
  EXPECT_EQ(0, array.search(probe, &position));
  EXPECT_EQ(2u, position);
}

// ---------------------------------------------------------------------------
// Searching.
// ---------------------------------------------------------------------------

TEST_F(SortedArrayTest, SearchFindsEqualOrInsertionPoint) {
  OwningSortedArray array;
  for (int v : {10, 20, 20, 30}) ASSERT_EQ(0, array.insert(new Item(v, v)));
  struct Row {
    int probe;
    int found;
    std::vector<uint64_t> positions;  // any of these
  };
  const Row rows[] = {
      {5, 0, {0}}, {10, 1, {0}}, {15, 0, {1}}, {20, 1, {1, 2}},
      {25, 0, {3}}, {30, 1, {3}}, {35, 0, {4}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.probe);
    uint64_t position = 99;
    EXPECT_EQ(row.found, array.search(Item(row.probe, 0), &position));
    EXPECT_NE(row.positions.end(), std::find(row.positions.begin(), row.positions.end(), position)) << position;
  }
  EXPECT_EQ(2u, array.lastEqual(Item(20, 0), 1));
  EXPECT_EQ(2u, array.lastEqual(Item(20, 0), 2));
  EXPECT_EQ(3u, array.lastEqual(Item(30, 0), 3));

  JuSortedArray empty;
  uint64_t position = 99;
  EXPECT_EQ(0, empty.search(Item(1, 0), &position));
  EXPECT_EQ(0u, position);
}

// Equal to element 0 on the first call, then less than everything: a
// compare that contradicts itself must not drive the search below 0.
class Fickle : public JuObject {
 public:
  int16_t compare(const JuObject&) const override { return calls_++ == 0 ? 1 : -1; }

 private:
  mutable int calls_ = 0;
};

TEST_F(SortedArrayTest, SearchSurvivesAnInconsistentCompare) {
  OwningSortedArray array;
  for (int v : {1, 2}) ASSERT_EQ(0, array.insert(new Item(v, v)));
  uint64_t position = 99;
  EXPECT_EQ(0, array.search(Fickle(), &position));
  EXPECT_EQ(0u, position);
}

TEST_F(SortedArrayTest, FindIsLinearByTheElementsCompare) {
  OwningSortedArray array;
  array.mode = 1;  // unsorted on purpose
  for (int v : {4, 2, 7, 2}) ASSERT_EQ(0, array.insert(new Item(v, v * 10)));
  uint64_t position = 99;
  EXPECT_EQ(1, array.find(Item(2, 0), &position));
  EXPECT_EQ(1u, position);
  EXPECT_EQ(1, array.find(Item(7, 0), &position));
  EXPECT_EQ(2u, position);
  position = 99;
  EXPECT_EQ(0, array.find(Item(5, 0), &position));
  EXPECT_EQ(99u, position);
}

// ---------------------------------------------------------------------------
// Duplicates.
// ---------------------------------------------------------------------------

TEST_F(SortedArrayTest, DeleteDuplicatesKeepsTheFirstOfEachRun) {
  int deaths = 0;
  OwningSortedArray array;
  int id = 0;
  for (int v : {1, 1, 2, 2, 2, 3}) ASSERT_EQ(0, array.insert(new Item(v, id++, &deaths)));
  array.deleteDuplicates();
  EXPECT_EQ((Pairs{{1, 0}, {2, 2}, {3, 5}}), contents(array));
  EXPECT_EQ(3, deaths);
}

TEST_F(SortedArrayTest, RemoveDuplicatesDestroysNothing) {
  int deaths = 0;
  std::vector<Item*> all;
  JuSortedArray array;
  for (int v : {1, 1, 2, 2, 2, 3, 3}) {
    all.push_back(new Item(v, static_cast<int>(all.size()), &deaths));
    ASSERT_EQ(0, array.insert(all.back()));
  }
  array.removeDuplicates();
  EXPECT_EQ((Pairs{{1, 0}, {2, 2}, {3, 5}}), contents(array));
  EXPECT_EQ(0, deaths);
  for (Item* item : all) delete item;
}

// ---------------------------------------------------------------------------
// Sorting.
// ---------------------------------------------------------------------------

TEST_F(SortedArrayTest, SortOrdersByCompare) {
  std::mt19937 random(11);
  for (int n : {0, 1, 2, 3, 4, 5, 151, 152, 1000}) {
    SCOPED_TRACE(n);
    OwningSortedArray array;
    array.mode = 1;
    std::vector<int> values;
    for (int i = 0; i < n; ++i) {
      values.push_back(static_cast<int>(random() % 50));
      ASSERT_EQ(0, array.insert(new Item(values.back(), i)));
    }
    ASSERT_EQ(0, array.sort());
    std::sort(values.begin(), values.end());
    Pairs got = contents(array);
    std::vector<int> ids;
    for (uint64_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(values[i], got[i].first) << "at " << i;
      ids.push_back(got[i].second);
    }
    std::sort(ids.begin(), ids.end());
    for (int i = 0; i < n; ++i) ASSERT_EQ(i, ids[i]);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(SortedArrayTest, SortPutsNullsFirst) {
  OwningSortedArray array;
  array.mode = 1;
  for (int v : {3, -1, 1, -1, 2}) ASSERT_EQ(0, array.insert(v < 0 ? nullptr : new Item(v, v)));
  ASSERT_EQ(0, array.sort());
  EXPECT_EQ((Pairs{{-1, -1}, {-1, -1}, {1, 1}, {2, 2}, {3, 3}}), contents(array));
}

// ---------------------------------------------------------------------------
// JuSortedArrayJUSIZE_T.
// ---------------------------------------------------------------------------

TEST_F(SortedArrayTest, SizeValuesAscendUnsigned) {
  struct Row {
    std::vector<size_t> values;
    std::vector<uint64_t> expected;
    const char* note;
  };
  const size_t kTop = SIZE_MAX;
  const size_t kHalf = size_t{1} << 63;
  const Row rows[] = {
      {{5, 1, 5, 3}, {1, 3, 5, 5}, "documented example"},
      {{kTop, 0, kHalf, kHalf - 1}, {0, kHalf - 1, kHalf, kTop}, "unsigned across 2^63"},
      {{7}, {7}, "one"},
      {{2, 2, 2, 1}, {1, 2, 2, 2}, "equal run"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuSortedArrayJUSIZE_T array;
    for (size_t v : row.values) ASSERT_EQ(0, array.insert(v));
    EXPECT_EQ(row.expected, std::vector<uint64_t>(array.data, array.data + array.count));
  }
}

TEST_F(SortedArrayTest, SizeSearchAndLastEqual) {
  JuSortedArrayJUSIZE_T array;
  for (size_t v : {10, 20, 20, 20, 30}) ASSERT_EQ(0, array.insert(v));
  struct Row {
    size_t probe;
    int found;
    uint64_t last;  // lastEqual from the found position, or the insertion point
  };
  const Row rows[] = {{5, 0, 0}, {10, 1, 0}, {15, 0, 1}, {20, 1, 3}, {25, 0, 4}, {30, 1, 4}, {31, 0, 5}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.probe);
    uint64_t position = 99;
    ASSERT_EQ(row.found, array.search(row.probe, &position));
    EXPECT_EQ(row.last, row.found ? array.lastEqual(row.probe, position) : position);
  }
}

}  // namespace
