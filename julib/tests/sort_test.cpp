// JuSort in memory (keys, record comparison, the quicksort, grouped sort)
// and the key comparators.
// Longer than our files usually are: the cases share the one fixture of
// records and keys. Run files, merging and ranges are in sort_runs_test.cpp.

#include <algorithm>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "julib/containers.h"
#include "julib/internal/fault.h"
#include "julib/sort.h"
#include "testing/ju_test.h"

namespace {

using SortTest = jutest::JuTest;

// An 8-byte record: a 4-byte big-endian key (so byte order is numeric
// order) and the record's original position.
struct Rec {
  uint8_t key[4];
  uint32_t id;
};
static_assert(sizeof(Rec) == 8, "packed record");

uint32_t keyOf(const Rec& r) {
  return (uint32_t{r.key[0]} << 24) | (uint32_t{r.key[1]} << 16) | (uint32_t{r.key[2]} << 8) | r.key[3];
}

std::vector<Rec> makeRecords(const std::vector<uint32_t>& keys) {
  std::vector<Rec> records(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    uint32_t k = keys[i];
    records[i] = Rec{{uint8_t(k >> 24), uint8_t(k >> 16), uint8_t(k >> 8), uint8_t(k)}, uint32_t(i)};
  }
  return records;
}

// Sorts `keys` as records with one byte key; checks the order against
// std::sort and that every record survives once.
void expectSortsLikeStdSort(const std::vector<uint32_t>& keys) {
  std::vector<Rec> records = makeRecords(keys);
  JuSort sorter(sizeof(Rec));
  ASSERT_EQ(0, sorter.addKey(0, 0, 4));
  sorter.useArray(records.size(), records.data());
  ASSERT_EQ(0, sorter.sort());

  std::vector<uint32_t> expected = keys;
  std::sort(expected.begin(), expected.end());
  std::vector<uint32_t> ids;
  for (size_t i = 0; i < records.size(); ++i) {
    ASSERT_EQ(expected[i], keyOf(records[i])) << "position " << i << " of " << records.size();
    ASSERT_EQ(keys[records[i].id], keyOf(records[i])) << "record damaged at " << i;
    ids.push_back(records[i].id);
  }
  std::sort(ids.begin(), ids.end());
  for (size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(i, ids[i]) << "a record was lost or doubled";
}

// Input shapes that trouble quicksorts.
enum class Shape { kRandom, kFewDistinct, kAllEqual, kAscending, kDescending, kOrganPipe, kSawtooth };

std::vector<uint32_t> shaped(Shape shape, size_t n, std::mt19937& random) {
  std::vector<uint32_t> keys(n);
  for (size_t i = 0; i < n; ++i) {
    switch (shape) {
      case Shape::kRandom: keys[i] = static_cast<uint32_t>(random()); break;
      case Shape::kFewDistinct: keys[i] = static_cast<uint32_t>(random() % 3); break;
      case Shape::kAllEqual: keys[i] = 42; break;
      case Shape::kAscending: keys[i] = static_cast<uint32_t>(i); break;
      case Shape::kDescending: keys[i] = static_cast<uint32_t>(n - i); break;
      case Shape::kOrganPipe: keys[i] = static_cast<uint32_t>(std::min(i, n - i)); break;
      case Shape::kSawtooth: keys[i] = static_cast<uint32_t>(i % 17); break;
    }
  }
  return keys;
}

// ---------------------------------------------------------------------------
// Construction and keys.
// ---------------------------------------------------------------------------

TEST_F(SortTest, RecordsPerBlock) {
  struct Row {
    uint16_t size;
    uint64_t constructed;
    uint64_t set;
  };
  const Row rows[] = {{1, 65536, 65535}, {2, 32768, 32768}, {3, 21845, 21845},
                      {8, 8192, 8192},   {65535, 1, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    JuSort sorter(row.size);
    EXPECT_EQ(row.constructed, sorter.recordsPerBlock);
    JuSort other(100);
    other.setRecordSize(row.size);
    EXPECT_EQ(row.set, other.recordsPerBlock);
    EXPECT_EQ(row.size, other.recordSize);
  }
}

TEST_F(SortTest, SixtyFifthKeyPosts2710) {
  JuSort sorter(8);
  for (uint64_t i = 0; i < JuSort::kMaxKeys; ++i) ASSERT_EQ(0, sorter.addKey(0, i % 8, 1));
  EXPECT_EQ(64u, sorter.keyCount);
  EXPECT_NE(0u, sorter.flags & JuSort::kKeysAdded);
  EXPECT_TRUE(errors_.ids().empty());
  EXPECT_EQ(1, sorter.addKey(0, 0, 1));
  EXPECT_EQ(64u, sorter.keyCount);
  EXPECT_EQ(std::vector<uint16_t>{2710}, errors_.ids());
  EXPECT_EQ("Too many sort keys.", errors_.message(0));
}

// ---------------------------------------------------------------------------
// The quicksort against std::sort.
// ---------------------------------------------------------------------------

TEST_F(SortTest, EverySmallSequenceSorts) {
  // Every sequence over {0..3} of 1 to 6 records, and over {0, 1} of 7 to 12:
  // the fixed networks, the median of three and heavy duplication.
  auto allSequences = [](size_t n, uint32_t alphabet) {
    std::vector<uint32_t> keys(n, 0);
    for (;;) {
      expectSortsLikeStdSort(keys);
      if (::testing::Test::HasFatalFailure()) return;
      size_t i = 0;
      while (i < n && ++keys[i] == alphabet) keys[i++] = 0;
      if (i == n) return;
    }
  };
  for (size_t n = 1; n <= 6; ++n) {
    SCOPED_TRACE(n);
    allSequences(n, 4);
  }
  for (size_t n = 7; n <= 12; ++n) {
    SCOPED_TRACE(n);
    allSequences(n, 2);
  }
}

TEST_F(SortTest, SortsEveryShapeAndSize) {
  std::vector<size_t> sizes(321);
  std::iota(sizes.begin(), sizes.end(), 0);  // 0..320: 4, 5, 151, 152 included
  for (size_t n = 400; n <= 2000; n += 100) sizes.push_back(n);
  sizes.push_back(1999);
  const Shape shapes[] = {Shape::kRandom,    Shape::kFewDistinct, Shape::kAllEqual, Shape::kAscending,
                          Shape::kDescending, Shape::kOrganPipe,  Shape::kSawtooth};
  std::mt19937 random(2024);
  for (Shape shape : shapes) {
    for (size_t n : sizes) {
      SCOPED_TRACE(::testing::Message() << "shape " << static_cast<int>(shape) << ", n " << n);
      expectSortsLikeStdSort(shaped(shape, n, random));
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_TRUE(errors_.ids().empty());
}

// McIlroy's adversary ("A Killer Adversary for Quicksort"): keys are fixed
// lazily so that every pivot comes out as small as possible. Replaying the
// keys it fixed gives an input on which the partitions are lopsided at
// every step, which a quicksort with a bounded range stack must survive.
struct Adversary {
  std::vector<uint32_t> value;
  uint32_t gas;
  uint32_t solid = 0;
  uint64_t candidate = UINT64_MAX;
};

int16_t adversaryCompare(void* context, const void* a, const void* b) {
  auto* adversary = static_cast<Adversary*>(context);
  uint32_t x = 0;
  uint32_t y = 0;
  std::memcpy(&x, a, 4);
  std::memcpy(&y, b, 4);
  std::vector<uint32_t>& v = adversary->value;
  if (v[x] == adversary->gas && v[y] == adversary->gas) {
    if (x == adversary->candidate) {
      v[x] = adversary->solid++;
    } else {
      v[y] = adversary->solid++;
    }
  }
  if (v[x] == adversary->gas) {
    adversary->candidate = x;
  } else if (v[y] == adversary->gas) {
    adversary->candidate = y;
  }
  return static_cast<int16_t>((v[x] > v[y]) - (v[x] < v[y]));
}

int16_t countingCompare(void* context, const void* a, const void* b) {
  ++*static_cast<uint64_t*>(context);
  return static_cast<int16_t>(juCompareBytes(a, b, 4));
}

TEST_F(SortTest, AdversarialInputSortsWithoutExhaustingTheRangeStack) {
  for (uint32_t n : {160u, 800u, 2000u}) {
    SCOPED_TRACE(n);
    Adversary adversary;
    adversary.gas = n;
    adversary.value.assign(n, n);
    std::vector<uint32_t> indexes(n);
    std::iota(indexes.begin(), indexes.end(), 0);
    JuSort probe(4);
    ASSERT_EQ(0, probe.addKey(JuSort::kFunction, 0, 4, adversaryCompare, &adversary));
    probe.useArray(n, indexes.data());
    ASSERT_EQ(0, probe.sort());

    // The replay: the same comparisons, with real keys.
    std::vector<Rec> records = makeRecords(adversary.value);
    uint64_t comparisons = 0;
    JuSort sorter(sizeof(Rec));
    ASSERT_EQ(0, sorter.addKey(JuSort::kFunction, 0, 4, countingCompare, &comparisons));
    sorter.useArray(n, records.data());
    ASSERT_EQ(0, sorter.sort());
    EXPECT_TRUE(errors_.ids().empty());
    std::vector<uint32_t> expected = adversary.value;
    std::sort(expected.begin(), expected.end());
    for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(expected[i], keyOf(records[i])) << i;
    // Quadratic work shows that the input really is adversarial.
    EXPECT_GT(comparisons, uint64_t{n} * n / 8);
  }
}

TEST_F(SortTest, LargeRecordsAreSwappedWhole) {
  // 600-byte records: more than one chunk of the swap buffer.
  constexpr uint16_t kSize = 600;
  constexpr size_t kCount = 300;
  std::mt19937 random(5);
  std::vector<uint8_t> records(kSize * kCount);
  for (size_t i = 0; i < kCount; ++i) {
    uint8_t* r = &records[i * kSize];
    for (size_t b = 0; b < kSize; ++b) r[b] = static_cast<uint8_t>(i * 7 + b);
    uint32_t key = static_cast<uint32_t>(random() % 1000);
    std::memcpy(r + 590, &key, 4);  // native order; compared by a function
    std::memcpy(r, &i, sizeof i);
  }
  JuSort sorter(kSize);
  auto byValue = [](void*, const void* a, const void* b) -> int16_t {
    uint32_t x = 0;
    uint32_t y = 0;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    return static_cast<int16_t>((x > y) - (x < y));
  };
  ASSERT_EQ(0, sorter.addKey(JuSort::kFunction, 590, 4, byValue, nullptr));
  sorter.useArray(kCount, records.data());
  ASSERT_EQ(0, sorter.sort());
  uint32_t previous = 0;
  for (size_t i = 0; i < kCount; ++i) {
    const uint8_t* r = &records[i * kSize];
    size_t id = 0;
    uint32_t key = 0;
    std::memcpy(&id, r, sizeof id);
    std::memcpy(&key, r + 590, 4);
    ASSERT_LE(previous, key) << i;
    previous = key;
    for (size_t b = sizeof id; b < kSize; ++b) {
      if (b >= 590 && b < 594) continue;
      ASSERT_EQ(static_cast<uint8_t>(id * 7 + b), r[b]) << "record " << i << " byte " << b;
    }
  }
}

TEST_F(SortTest, SortRunsOnceUntilNewRecordsAreTaken) {
  std::vector<Rec> records = makeRecords({3, 1, 2});
  JuSort sorter(sizeof(Rec));
  ASSERT_EQ(0, sorter.addKey(0, 0, 4));
  sorter.useArray(records.size(), records.data());
  sorter.cursor = 7;
  ASSERT_EQ(0, sorter.sort());
  EXPECT_NE(0u, sorter.flags & JuSort::kSorted);
  EXPECT_EQ(0u, sorter.cursor);
  std::swap(records[0], records[2]);
  ASSERT_EQ(0, sorter.sort());  // already sorted: nothing moves
  EXPECT_EQ(3u, keyOf(records[0]));
  sorter.useArray(records.size(), records.data());
  ASSERT_EQ(0, sorter.sort());
  EXPECT_EQ(1u, keyOf(records[0]));
}

// ---------------------------------------------------------------------------
// Kinds of keys and record comparison.
// ---------------------------------------------------------------------------

class Value : public JuObject {
 public:
  explicit Value(int v) : value(v) {}
  int16_t compare(const JuObject& other) const override {
    int o = static_cast<const Value&>(other).value;
    return static_cast<int16_t>((value > o) - (value < o));
  }
  int value;
};

TEST_F(SortTest, ObjectKeyOrdersPointersByCompare) {
  std::vector<Value> values;
  for (int v : {5, 3, 9, 3, 1, 7}) values.emplace_back(v);
  for (size_t n = 0; n <= values.size(); ++n) {
    SCOPED_TRACE(n);
    std::vector<JuObject*> pointers;
    for (size_t i = 0; i < n; ++i) pointers.push_back(&values[i]);
    std::vector<JuObject*> original = pointers;
    JuSort sorter(8);
    ASSERT_EQ(0, sorter.addKey(JuSort::kObject, 0, 8));
    sorter.useArray(n, pointers.data());
    ASSERT_EQ(0, sorter.sort());
    if (n < 2) {
      EXPECT_EQ(original, pointers);
    }
    for (size_t i = 1; i < n; ++i) {
      EXPECT_LE(static_cast<Value*>(pointers[i - 1])->value, static_cast<Value*>(pointers[i])->value);
    }
    std::sort(original.begin(), original.end());
    std::sort(pointers.begin(), pointers.end());
    EXPECT_EQ(original, pointers);
  }
}

// A 24-byte record for the mixed-key test.
struct Mixed {
  uint8_t group;     // bytes key, descending
  char text[8];      // text key; need not be terminated
  uint8_t pad[3];
  int32_t value;     // function key: ascending, or descending by context
  uint32_t id;
  uint32_t pad2;
};
static_assert(sizeof(Mixed) == 24, "layout");

int16_t compareValues(void* context, const void* a, const void* b) {
  int32_t x = 0;
  int32_t y = 0;
  std::memcpy(&x, a, 4);
  std::memcpy(&y, b, 4);
  int direction = *static_cast<int*>(context);
  return static_cast<int16_t>(direction * ((x > y) - (x < y)));
}

std::string terminated(const char* text, size_t n) { return std::string(text, strnlen(text, n)); }

TEST_F(SortTest, MixedKeysMatchAnEquivalentComparator) {
  std::mt19937 random(99);
  const char alphabet[] = {'a', 'b', 'B', '\xE9', '\0'};
  for (int direction : {1, -1}) {
    SCOPED_TRACE(direction);
    std::vector<Mixed> records(700);
    for (size_t i = 0; i < records.size(); ++i) {
      Mixed& m = records[i];
      std::memset(&m, 0, sizeof m);
      m.group = static_cast<uint8_t>(random() % 3);
      for (char& c : m.text) c = alphabet[random() % 5];
      m.value = static_cast<int32_t>(random() % 5) - 2;
      m.id = static_cast<uint32_t>(i);
    }
    auto expectedLess = [direction](const Mixed& a, const Mixed& b) {
      if (a.group != b.group) return a.group > b.group;
      int t = terminated(a.text, 8).compare(terminated(b.text, 8));  // byte order
      if (t != 0) return t < 0;
      return direction > 0 ? a.value < b.value : a.value > b.value;
    };
    std::vector<Mixed> expected = records;
    std::sort(expected.begin(), expected.end(), expectedLess);

    JuSort sorter(sizeof(Mixed));
    ASSERT_EQ(0, sorter.addKey(JuSort::kDescending, offsetof(Mixed, group), 1));
    ASSERT_EQ(0, sorter.addKey(JuSort::kText, offsetof(Mixed, text), 8));
    ASSERT_EQ(0, sorter.addKey(JuSort::kFunction, offsetof(Mixed, value), 4, compareValues, &direction));
    sorter.useArray(records.size(), records.data());
    ASSERT_EQ(0, sorter.sort());
    for (size_t i = 0; i < records.size(); ++i) {
      ASSERT_FALSE(expectedLess(records[i], expected[i]) || expectedLess(expected[i], records[i])) << i;
      if (i > 0) {
        ASSERT_FALSE(expectedLess(records[i], records[i - 1])) << i;
      }
    }
  }
}

int16_t reversedBytes(void*, const void* a, const void* b) {
  return static_cast<int16_t>(-juCompareBytes(a, b, 1));
}

int16_t hugeMagnitude(void*, const void* a, const void* b) {
  int c = juCompareBytes(a, b, 1);
  return c < 0 ? INT16_MIN : (c > 0 ? INT16_MAX : 0);
}

TEST_F(SortTest, KeyKindsAndTheirPrecedence) {
  Value three(3);
  Value five(5);
  struct Row {
    uint16_t flags;
    JuSortCompare compare;
    int expected;  // record "a" (text "a", object 5) against "b" (text "b", object 3)
    const char* note;
  };
  const Row rows[] = {
      {0, nullptr, -1, "bytes"},
      {JuSort::kDescending, nullptr, 1, "bytes, descending"},
      {JuSort::kText, nullptr, -1, "text"},
      {JuSort::kFunction, reversedBytes, 1, "function"},
      {JuSort::kFunction, nullptr, -1, "flag 4 without a function compares bytes"},
      {JuSort::kText | JuSort::kFunction, reversedBytes, -1, "text wins over function"},
      {JuSort::kObject | JuSort::kText, nullptr, 1, "object wins over text"},
      {JuSort::kObject | JuSort::kFunction, reversedBytes, 1, "object wins over function"},
      {JuSort::kFunction | JuSort::kDescending, hugeMagnitude, 1, "-32768 descending is greater"},
      {JuSort::kFunction, hugeMagnitude, -1, "-32768 is less"},
  };
  // Records: the object pointer, then the text at byte 8.
  struct Pair {
    JuObject* object;
    char text[8];
  };
  Pair a{&five, "a"};
  Pair b{&three, "b"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuSort sorter(sizeof(Pair));
    ASSERT_EQ(0, sorter.addKey(row.flags, 8, 1, row.compare, nullptr));
    EXPECT_EQ(row.expected, sorter.compareRecords(&a, &b));
    EXPECT_EQ(-row.expected, sorter.compareRecords(&b, &a));
    EXPECT_EQ(0, sorter.compareRecords(&a, &a));
  }
}

TEST_F(SortTest, NullObjectsSortFirst) {
  Value one(1);
  JuObject* records[] = {&one, nullptr, &one, nullptr};
  JuSort sorter(8);
  ASSERT_EQ(0, sorter.addKey(JuSort::kObject, 0, 8));
  sorter.useArray(4, records);
  ASSERT_EQ(0, sorter.sort());
  EXPECT_EQ(nullptr, records[0]);
  EXPECT_EQ(nullptr, records[1]);
  EXPECT_EQ(&one, records[2]);
  EXPECT_EQ(&one, records[3]);
}

TEST_F(SortTest, KeysPastTheRecordCompareOnlyWhatIsInside) {
  // Separate 4-byte blocks, so the sanitizer build sees any read beyond.
  std::vector<uint8_t> a{1, 2, 3, 4};
  std::vector<uint8_t> b{1, 2, 3, 5};
  struct Row {
    uint16_t flags;
    uint64_t offset;
    uint16_t length;
    int expected;
  };
  const Row rows[] = {
      {0, 2, 8, -1}, {0, 4, 2, 0}, {JuSort::kText, 3, 8, -1}, {JuSort::kText, 9, 1, 0}, {JuSort::kObject, 0, 8, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.flags << " at " << row.offset);
    JuSort sorter(16);
    ASSERT_EQ(0, sorter.addKey(row.flags, row.offset, row.length));
    sorter.setRecordSize(4);  // the key now reaches past the record
    EXPECT_EQ(row.expected, sorter.compareRecords(a.data(), b.data()));
  }
}

TEST_F(SortTest, CountEqualKeysAndLeadingKeys) {
  JuSort sorter(3);
  for (uint64_t k = 0; k < 3; ++k) ASSERT_EQ(0, sorter.addKey(0, k, 1));
  struct Row {
    const char* a;
    const char* b;
    uint64_t n;
    uint64_t equal;
  };
  const Row rows[] = {
      {"abc", "abd", 3, 2}, {"abc", "abc", 3, 3}, {"xbc", "abc", 3, 0},
      {"abc", "abd", 2, 2}, {"abc", "abc", 10, 3}, {"abc", "abd", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.a << " " << row.b << " " << row.n);
    EXPECT_EQ(row.equal, sorter.countEqualKeys(row.a, row.b, row.n));
  }
  EXPECT_EQ(1, sorter.compareRecords("bac", "abc"));
  sorter.setLeadingKeys(1);  // comparison starts at key 1
  EXPECT_EQ(-1, sorter.compareRecords("bac", "abc"));
  sorter.setLeadingKeys(3);
  EXPECT_EQ(0, sorter.compareRecords("bac", "abc"));
}

TEST_F(SortTest, LeadingKeysSortEachGroupByTheKeysAfter) {
  // Runs equal on key 0 stay where they are, even out of order; each run is
  // sorted by key 1.
  std::mt19937 random(3);
  struct Row {
    std::vector<int> runs;  // length of each run of equal leading bytes
  };
  const Row rows[] = {{{3, 2, 4}}, {{1, 1, 1}}, {{200, 1, 160, 5}}, {{2}}, {{}}};
  for (const Row& row : rows) {
    std::vector<uint8_t> records;  // {group, key, id}
    std::vector<uint8_t> groups;
    uint8_t group = 9;
    for (int length : row.runs) {
      group = static_cast<uint8_t>(group == 9 ? 7 : (group * 5 + 3) % 11);  // not ascending
      for (int i = 0; i < length; ++i) {
        records.insert(records.end(), {group, static_cast<uint8_t>(random() % 50), static_cast<uint8_t>(i)});
        groups.push_back(group);
      }
    }
    size_t n = groups.size();
    SCOPED_TRACE(n);
    JuSort sorter(3);
    ASSERT_EQ(0, sorter.addKey(0, 0, 1));
    ASSERT_EQ(0, sorter.addKey(0, 1, 1));
    sorter.setLeadingKeys(1);
    sorter.useArray(n, records.data());
    ASSERT_EQ(0, sorter.sort());
    for (size_t i = 0; i < n; ++i) {
      EXPECT_EQ(groups[i], records[i * 3]) << i;
      if (i > 0 && groups[i] == groups[i - 1]) {
        EXPECT_LE(records[i * 3 - 2], records[i * 3 + 1]) << i;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Comparators.
// ---------------------------------------------------------------------------

TEST_F(SortTest, CompareStringA) {
  struct Row {
    std::string a;
    std::string b;
    int cased;
    int caseless;
    const char* note;
  };
  const Row rows[] = {
      {"abc", "abd", -1, -1, "last byte"},
      {"abd", "abc", 1, 1, "reversed"},
      {"abc", "abc", 0, 0, "equal"},
      {"ab", "abc", -1, -1, "prefix first"},
      {"", "", 0, 0, "empty"},
      {"a", "B", 1, -1, "case decides only the cased form"},
      {"ABC", "abc", -1, 0, "case only"},
      {std::string("a\0b", 3), std::string("a\0c", 3), 0, 0, "ends at the first NUL"},
      {"\xE9", "z", 1, 1, "bytes above 127 are unsigned"},
      {std::string(511, 'x') + "a", std::string(511, 'x') + "b", -1, -1, "512 bytes: heap copies"},
      {std::string(510, 'x') + "a", std::string(510, 'x') + "b", -1, -1, "511 bytes: stack copies"},
      {std::string(700, 'q') + "b", std::string(700, 'Q') + "a", 1, 1, "long, caseless"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(row.cased, juCompareStringA(row.a.data(), row.a.size(), row.b.data(), row.b.size()));
    EXPECT_EQ(row.caseless, juCompareStringIA(row.a.data(), row.a.size(), row.b.data(), row.b.size()));
  }
  // Only the counted bytes take part.
  EXPECT_EQ(0, juCompareStringA("abcX", 3, "abcY", 3));
  EXPECT_EQ(-1, juCompareStringA("abcX", 3, "abcY", 4));
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(SortTest, CompareStringAWithoutMemoryReportsAndCallsEqual) {
  std::string a(600, 'a');
  std::string b(600, 'b');
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(0, juCompareStringA(a.data(), a.size(), b.data(), b.size()));
  EXPECT_EQ(1u, julib::internal::clearAllocationFault());
  EXPECT_EQ(1, errors_.list().pendingOutOfMemory);
}

TEST_F(SortTest, CompareDoubleBytes) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    double a;
    double b;
    int expected;
  };
  const Row rows[] = {
      {1.0, 2.0, -1},  {2.0, 1.0, 1},      {-1.0, 1.0, -1},  {1.0, -1.0, 1},        {-2.0, -1.0, -1},
      {-1.0, -2.0, 1}, {-0.0, 0.0, -1},    {0.0, 0.0, 0},    {-3.5, -3.5, 0},       {1e300, inf, -1},
      {-inf, -1e300, -1}, {1.0, 1.0000000000000002, -1}, {5e-324, 0.0, 1}, {256.0, 255.99999999999997, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.a << " vs " << row.b);
    EXPECT_EQ(row.expected, juCompareDoubleBytes(&row.a, &row.b));
  }
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> spread(-1e6, 1e6);
  for (int i = 0; i < 2000; ++i) {
    double x = spread(random);
    double y = i % 3 == 0 ? x : spread(random);
    ASSERT_EQ((x > y) - (x < y), juCompareDoubleBytes(&x, &y)) << x << " " << y;
  }
}

TEST_F(SortTest, CompareBytesBlankPaddedAndStrNSign) {
  EXPECT_EQ(1, juCompareBytes("\x80", "\x01", 1));
  EXPECT_EQ(-1, juCompareBytes("ab", "b", 2));
  EXPECT_EQ(0, juCompareBytes("ab", "ac", 1));
  EXPECT_EQ(0, juCompareBytes("a", "b", 0));

  struct Row {
    const char* a;
    const char* b;
    int expected;
  };
  const Row padded[] = {
      {"abc", "abc  ", 0},  {"abc  ", "abc", 0}, {"abc", "abc d", -1}, {"abc  x", "abc", 1},
      {"abd", "abc  ", 1},  {"", "  ", 0},       {"", "", 0},          {"ab", "abc", -1},
      {"ab", "ab\t", -1},   {"\xE9", "a", 1},
  };
  for (const Row& row : padded) {
    SCOPED_TRACE(::testing::Message() << "'" << row.a << "' vs '" << row.b << "'");
    EXPECT_EQ(row.expected, juCompareBlankPadded(row.a, row.b));
  }

  struct NRow {
    const char* a;
    const char* b;
    size_t n;
    int expected;
  };
  const NRow counted[] = {
      {"abc", "abd", 2, 0}, {"abc", "abd", 3, -1}, {"b", "a", 1, 1},  {"x", "y", 0, 0},
      {"\xFF", "a", 1, 1},  {"ab", "abc", 5, -1},  {"ab", "ab", 9, 0},
  };
  for (const NRow& row : counted) {
    SCOPED_TRACE(::testing::Message() << row.a << " vs " << row.b << " n " << row.n);
    EXPECT_EQ(row.expected, juStrNCompareSign(row.a, row.b, row.n));
  }
}

}  // namespace
