// The sequential dictionaries and their associations: matching by mode,
// first-match order, ownership (what removeAt, removeAll, setValue and the
// destructor delete), index bounds and allocation failures, for the narrow
// and the UTF-16 dictionary alike.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "julib/containers.h"
#include "julib/strings.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

namespace {

// An object that counts its destructions.
class Tracked : public JuObject {
 public:
  explicit Tracked(int* deaths) : deaths_(deaths) {}
  ~Tracked() override { ++*deaths_; }

 private:
  int* deaths_;
};

// A key view that counts its destructions.
template <typename View, typename Char>
class TrackedKey : public View {
 public:
  TrackedKey(const Char* text, size_t length, int* deaths) : View(text, length), deaths_(deaths) {}
  ~TrackedKey() override { ++*deaths_; }

 private:
  int* deaths_;
};

struct NarrowCase {
  using Dict = JuSeqDictionary;
  using View = JuSubString;
  using Entry = JuSubPtrKey;
  using Char = char;
  static Char unit(char byte) { return byte; }
  static View* keyOf(const JuAssociation& entry) { return entry.subStringKey(); }
};

struct WideCase {
  using Dict = JuSeqDictionaryW;
  using View = JuSubStringW;
  using Entry = JuSubPtrKeyW;
  using Char = char16_t;
  // Bytes stand for Latin-1 characters, so one table serves both forms.
  static Char unit(char byte) { return static_cast<char16_t>(static_cast<unsigned char>(byte)); }
  static View* keyOf(const JuAssociation& entry) { return entry.subStringWKey(); }
};

template <typename Case>
class DictionaryTest : public jutest::JuTest {
 protected:
  using Dict = typename Case::Dict;
  using View = typename Case::View;
  using Char = typename Case::Char;
  using Key = TrackedKey<View, Char>;

  // The text in a block of exactly its length plus a terminator, alive for
  // the whole test, so AddressSanitizer sees any read past a key.
  const Char* text(std::string_view bytes) {
    auto block = std::make_unique<Char[]>(bytes.size() + 1);
    for (size_t i = 0; i < bytes.size(); ++i) block[i] = Case::unit(bytes[i]);
    block[bytes.size()] = Char{0};
    texts_.push_back(std::move(block));
    return texts_.back().get();
  }
  View view(std::string_view bytes) { return View(text(bytes), bytes.size()); }
  Key* newKey(std::string_view bytes, int* deaths) { return new Key(text(bytes), bytes.size(), deaths); }

 private:
  std::vector<std::unique_ptr<Char[]>> texts_;
};

using Cases = ::testing::Types<NarrowCase, WideCase>;
TYPED_TEST_SUITE(DictionaryTest, Cases);

// ---------------------------------------------------------------------------
// Matching
// ---------------------------------------------------------------------------

TYPED_TEST(DictionaryTest, EmptyDictionaryFindsNothing) {
  typename TypeParam::Dict dict;
  EXPECT_EQ(16u, dict.growthStep);
  EXPECT_EQ(0u, dict.mode);
  EXPECT_EQ(0u, dict.find(this->view("pwd")));
  EXPECT_EQ(0u, dict.find(this->text("pwd")));
  EXPECT_EQ(0u, dict.findInt(0));
  EXPECT_EQ(0, dict.contains(this->view("pwd")));
  EXPECT_EQ(0, dict.containsInt(0));
  EXPECT_EQ(nullptr, dict.get(this->view("pwd")));
  EXPECT_EQ(nullptr, dict.getByInt(0));
  EXPECT_EQ(0, dict.getInt(0));
  EXPECT_TRUE(this->errors_.ids().empty());
}

TYPED_TEST(DictionaryTest, StringKeysMatchByMode) {
  struct Row {
    std::string_view stored;
    std::string_view sought;
    uint32_t mode;
    bool found;
    const char* note;
  };
  using namespace std::string_view_literals;
  const Row rows[] = {
      {"pwd", "pwd", 0, true, "same bytes"},
      {"pwd", "PWD", 0, false, "mode 0 minds case"},
      {"pwd", "PWD", 1, true, "mode 1 ignores case"},
      {"pwd", "PwD", 2, true, "any non-zero mode ignores case"},
      {"\xE9t\xE9", "\xC9T\xC9", 0, false, "accented letters, exact"},
      {"\xE9t\xE9", "\xC9T\xC9", 1, true, "accented letters ignore case in the code page"},
      {"pwd", "pw", 0, false, "a shorter key is not a match"},
      {"pwd", "pw", 1, false, "nor ignoring case"},
      {"pw", "pwd", 1, false, "a longer key is not a match"},
      {"pwd", "pwd ", 0, false, "a trailing blank counts"},
      {"", "", 0, true, "the empty key"},
      {"", "a", 1, false, "the empty key against one byte"},
      {"a\0b"sv, "a\0c"sv, 0, false, "units after an embedded zero count"},
      {"a\0b"sv, "a\0B"sv, 1, true, "and ignore case in mode 1"},
      {"a\0b"sv, "a"sv, 0, false, "a key cut at the zero is shorter"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    typename TypeParam::Dict dict;
    dict.mode = row.mode;
    int deaths = 0;
    auto* value = new Tracked(&deaths);
    // An integer entry first: its slots must answer no to string keys.
    ASSERT_EQ(0, dict.addInt(7, 70));
    ASSERT_EQ(0, dict.add(this->newKey(row.stored, &deaths), value));
    const uint64_t expected = row.found ? 1 : dict.count;
    EXPECT_EQ(expected, dict.find(this->view(row.sought)));
    EXPECT_EQ(row.found ? 1 : 0, dict.contains(this->view(row.sought)));
    EXPECT_EQ(row.found ? value : nullptr, dict.get(this->view(row.sought)));
    // The NUL-terminated form reads up to the first zero.
    const std::string_view terminated = row.sought.substr(0, row.sought.find('\0'));
    if (terminated.size() == row.sought.size()) {
      EXPECT_EQ(expected, dict.find(this->text(row.sought)));
    }
    dict.removeAll();
    EXPECT_EQ(2, deaths);
  }
  EXPECT_TRUE(this->errors_.ids().empty());
}

TYPED_TEST(DictionaryTest, FirstOfEqualKeysWinsThenTheNext) {
  typename TypeParam::Dict dict;
  dict.mode = 1;
  int firstDeaths = 0;
  int secondDeaths = 0;
  auto* first = new Tracked(&firstDeaths);
  auto* second = new Tracked(&secondDeaths);
  ASSERT_EQ(0, dict.add(this->newKey("dsn", &firstDeaths), first));
  ASSERT_EQ(0, dict.add(this->newKey("DSN", &secondDeaths), second));
  EXPECT_EQ(0u, dict.find(this->text("Dsn")));
  EXPECT_EQ(first, dict.get(this->view("dsn")));

  dict.removeAt(0);
  EXPECT_EQ(2, firstDeaths) << "the first entry's key and value";
  EXPECT_EQ(0, secondDeaths);
  EXPECT_EQ(1u, dict.count);
  EXPECT_EQ(0u, dict.find(this->text("dsn")));
  EXPECT_EQ(second, dict.get(this->view("dsn")));
  dict.removeAll();
  EXPECT_EQ(2, secondDeaths);
}

TYPED_TEST(DictionaryTest, LookupReachesEntriesPastTheFirstGrowth) {
  typename TypeParam::Dict dict;
  int deaths = 0;
  for (int i = 0; i < 17; ++i) {
    const std::string key = "k" + std::to_string(i);
    ASSERT_EQ(0, dict.add(this->newKey(key, &deaths), new Tracked(&deaths)));
  }
  EXPECT_EQ(32u, dict.capacity);
  EXPECT_EQ(15u, dict.find(this->text("k15")));
  EXPECT_EQ(16u, dict.find(this->text("k16")));
  EXPECT_EQ(17u, dict.find(this->text("k17")));
  dict.removeAll();
  EXPECT_EQ(34, deaths);
}

// ---------------------------------------------------------------------------
// Integer keys
// ---------------------------------------------------------------------------

TYPED_TEST(DictionaryTest, IntegerLookupsSkipStringEntries) {
  typename TypeParam::Dict dict;
  int deaths = 0;
  auto* object = new Tracked(&deaths);
  // String entries answer 0 as integer key, so a search for 0 must not stop
  // at them.
  ASSERT_EQ(0, dict.add(this->newKey("0", &deaths), new Tracked(&deaths)));
  ASSERT_EQ(0, dict.addInt(0, 100));
  ASSERT_EQ(0, dict.addPtr(INT64_MIN, object));
  ASSERT_EQ(0, dict.addInt(INT64_MIN, 5));

  struct Row {
    int64_t key;
    uint64_t index;
    int64_t intValue;
    JuObject* object;
    const char* note;
  };
  const Row rows[] = {
      {0, 1, 100, nullptr, "integer entry after a string entry"},
      {INT64_MIN, 2, 0, object, "object entry first; it has no integer value"},
      {INT64_MAX, 4, 0, nullptr, "absent"},
      {1, 4, 0, nullptr, "absent neighbour"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(row.index, dict.findInt(row.key));
    EXPECT_EQ(row.index < dict.count ? 1 : 0, dict.containsInt(row.key));
    EXPECT_EQ(row.intValue, dict.getInt(row.key));
    EXPECT_EQ(row.object, dict.getByInt(row.key));
  }
  EXPECT_EQ(INT64_MIN, dict.intKeyAt(3));
  EXPECT_EQ(5, dict.intValueAt(3));
  EXPECT_EQ(0, dict.intKeyAt(0)) << "a string entry has no integer key";

  dict.setIntValue(0, -1);
  EXPECT_EQ(-1, dict.getInt(0));
  dict.setIntValue(42, 9);  // absent: nothing changes
  EXPECT_EQ(4u, dict.count);
  EXPECT_EQ(-1, dict.intValueAt(1));
  EXPECT_EQ(5, dict.intValueAt(3));

  dict.removeAll();
  EXPECT_EQ(3, deaths) << "the string entry's key and value, the object entry's value";
}

// ---------------------------------------------------------------------------
// Ownership
// ---------------------------------------------------------------------------

TYPED_TEST(DictionaryTest, SetValueDeletesOnlyAnOwnedOldValue) {
  typename TypeParam::Dict dict;
  int keyDeaths = 0;
  int oldDeaths = 0;
  int newDeaths = 0;
  auto* newValue = new Tracked(&newDeaths);
  ASSERT_EQ(0, dict.add(this->newKey("uid", &keyDeaths), new Tracked(&oldDeaths)));
  dict.setValue(this->view("uid"), newValue);
  EXPECT_EQ(1, oldDeaths);
  EXPECT_EQ(newValue, dict.get(this->view("uid")));

  // The value it already holds is kept, not deleted and left dangling.
  dict.setValue(this->view("uid"), newValue);
  EXPECT_EQ(0, newDeaths);
  EXPECT_EQ(newValue, dict.valueAt(0));

  // An absent key takes nothing: the caller still owns the value.
  int strayDeaths = 0;
  Tracked stray(&strayDeaths);
  dict.setValue(this->view("pwd"), &stray);
  EXPECT_EQ(1u, dict.count);
  EXPECT_EQ(newValue, dict.valueAt(0));

  dict.removeAll();
  EXPECT_EQ(1, keyDeaths);
  EXPECT_EQ(1, newDeaths);
  EXPECT_EQ(0, strayDeaths);
}

TYPED_TEST(DictionaryTest, SetValueOnABorrowedValueTakesOwnershipOfTheNewOne) {
  using Entry = typename TypeParam::Entry;
  typename TypeParam::Dict dict;
  int deaths = 0;
  Tracked borrowed(&deaths);
  auto key = this->view("server");
  auto* entry = new Entry(&key, &borrowed, 0, 0);
  ASSERT_EQ(0, dict.insertAt(entry, 0));
  int newDeaths = 0;
  dict.setValue(this->view("server"), new Tracked(&newDeaths));
  EXPECT_EQ(0, deaths) << "a value the entry does not own is left alone";
  dict.removeAll();
  EXPECT_EQ(1, newDeaths);
  EXPECT_EQ(0, deaths);
}

TYPED_TEST(DictionaryTest, RemoveAllDeletesEveryOwnedObjectOnce) {
  typename TypeParam::Dict dict;
  std::vector<int> deaths(7, 0);
  ASSERT_EQ(0, dict.add(this->newKey("a", &deaths[0]), new Tracked(&deaths[1])));
  ASSERT_EQ(0, dict.addPtr(3, new Tracked(&deaths[2])));
  ASSERT_EQ(0, dict.addInt(4, 40));
  ASSERT_EQ(0, dict.add(this->newKey("b", &deaths[3]), new Tracked(&deaths[4])));
  ASSERT_EQ(0, dict.add(this->newKey("a", &deaths[5]), new Tracked(&deaths[6])));
  ASSERT_EQ(0, dict.add(this->newKey("c", &deaths[0]), nullptr)) << "a null value";
  dict.removeAll();
  EXPECT_EQ((std::vector<int>{2, 1, 1, 1, 1, 1, 1}), deaths);
  EXPECT_EQ(0u, dict.count);
  for (uint64_t i = 0; i < dict.capacity; ++i) EXPECT_EQ(0u, dict.data[i]) << "slot " << i;

  // Emptied, it is usable again.
  int later = 0;
  ASSERT_EQ(0, dict.add(this->newKey("a", &later), new Tracked(&later)));
  EXPECT_EQ(0u, dict.find(this->text("a")));
  dict.removeAll();
  EXPECT_EQ(2, later);
}

TYPED_TEST(DictionaryTest, AKeyGivenAsItsOwnValueIsDeletedOnce) {
  typename TypeParam::Dict dict;
  int deaths = 0;
  auto* key = this->newKey("self", &deaths);
  ASSERT_EQ(0, dict.add(key, key));
  EXPECT_EQ(key, dict.get(this->view("self")));
  dict.removeAll();
  EXPECT_EQ(1, deaths);
}

TYPED_TEST(DictionaryTest, DestructorWithoutRemoveAllLeavesOwnedObjectsAlone) {
  int deaths = 0;
  // The objects live on the stack: had the destructor released them, the
  // sanitizer build would report a bad free.
  Tracked value(&deaths);
  typename TestFixture::Key key(this->text("dsn"), 3, &deaths);
  Tracked object(&deaths);
  {
    typename TypeParam::Dict dict;
    ASSERT_EQ(0, dict.add(&key, &value));
    ASSERT_EQ(0, dict.addPtr(1, &object));
    ASSERT_EQ(0, dict.addInt(2, 3));
  }
  EXPECT_EQ(0, deaths);
}

TYPED_TEST(DictionaryTest, AnEntryWithoutKeyMatchesNothing) {
  typename TypeParam::Dict dict;
  int deaths = 0;
  ASSERT_EQ(0, dict.add(nullptr, new Tracked(&deaths)));
  EXPECT_EQ(1u, dict.find(this->text("")));
  dict.mode = 1;
  EXPECT_EQ(1u, dict.find(this->text("")));
  EXPECT_EQ(nullptr, dict.keyAt(0));
  dict.removeAll();
  EXPECT_EQ(1, deaths);
}

// ---------------------------------------------------------------------------
// Index bounds
// ---------------------------------------------------------------------------

TYPED_TEST(DictionaryTest, IndexesAtOrAboveTheCountReadAndRemoveNothing) {
  typename TypeParam::Dict dict;
  int deaths = 0;
  auto* value = new Tracked(&deaths);
  ASSERT_EQ(0, dict.addInt(-5, 6));
  ASSERT_EQ(0, dict.add(this->newKey("last", &deaths), value));
  // The last valid index answers; the next ones must not read the zeroed
  // slots behind the count nor anything past the buffer.
  ASSERT_NE(nullptr, TypeParam::keyOf(*dict.entryAt(1)));
  EXPECT_EQ(TypeParam::keyOf(*dict.entryAt(1)), dict.keyAt(1));
  EXPECT_EQ(value, dict.valueAt(1));
  EXPECT_EQ(-5, dict.intKeyAt(0));
  EXPECT_EQ(6, dict.intValueAt(0));
  for (uint64_t index : {uint64_t{2}, uint64_t{16}, uint64_t{17}, UINT64_MAX}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(nullptr, dict.keyAt(index));
    EXPECT_EQ(nullptr, dict.valueAt(index));
    EXPECT_EQ(0, dict.intKeyAt(index));
    EXPECT_EQ(0, dict.intValueAt(index));
    dict.removeAt(index);
    EXPECT_EQ(2u, dict.count);
    EXPECT_EQ(0, deaths);
  }
  dict.removeAt(1);
  EXPECT_EQ(2, deaths);
  EXPECT_EQ(1u, dict.count);
  dict.removeAll();

  typename TypeParam::Dict empty;
  empty.removeAt(0);
  EXPECT_EQ(nullptr, empty.keyAt(0));
  EXPECT_EQ(nullptr, empty.valueAt(0));
}

// ---------------------------------------------------------------------------
// Allocation failures: every allocation of an add fails in turn; the add
// returns 1, reports out of memory, leaves the dictionary as it was and the
// key and value with the caller.
// ---------------------------------------------------------------------------

TYPED_TEST(DictionaryTest, EveryFailedAllocationOfAnAddReturnsOneAndKeepsNothing) {
  enum Kind { kString, kInt, kPtr };
  struct Row {
    Kind kind;
    int filled;  // entries before the add: 16 makes the add grow the array
    const char* note;
  };
  const Row rows[] = {
      {kString, 0, "string entry into an empty dictionary"},
      {kString, 16, "string entry into a full buffer"},
      {kInt, 0, "integer entry"},
      {kInt, 16, "integer entry into a full buffer"},
      {kPtr, 0, "object entry"},
      {kPtr, 16, "object entry into a full buffer"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    const uint64_t failures = jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
      typename TypeParam::Dict dict;
      for (int i = 0; i < row.filled; ++i) ASSERT_EQ(0, dict.addInt(i, i));
      const uint64_t capacity = dict.capacity;
      int deaths = 0;
      auto* key = this->newKey("k", &deaths);
      auto* value = new Tracked(&deaths);
      jutest::ScopedErrorList errors;
      int result = 0;
      fault.arm();
      switch (row.kind) {
        case kString: result = dict.add(key, value); break;
        case kInt: result = dict.addInt(99, 1); break;
        case kPtr: result = dict.addPtr(99, value); break;
      }
      if (!fault.disarm()) {
        EXPECT_EQ(0, result);
        EXPECT_EQ(static_cast<uint64_t>(row.filled) + 1, dict.count);
        EXPECT_TRUE(errors.ids().empty());
        dict.removeAll();
        if (row.kind != kString) delete key;
        if (row.kind == kInt) delete value;
        EXPECT_EQ(2, deaths);
        return;
      }
      EXPECT_EQ(1, result);
      EXPECT_EQ(static_cast<uint64_t>(row.filled), dict.count);
      EXPECT_EQ(capacity, dict.capacity);
      EXPECT_EQ(1, errors.list().pendingOutOfMemory);
      EXPECT_EQ(0, deaths) << "a failed add deletes nothing of the caller's";
      dict.removeAll();
      delete key;
      delete value;
    }) - 1;  // the last run is free of faults
    // The entry, and the buffer when the add must grow it.
    EXPECT_EQ(2u, failures);
  }
}

// ---------------------------------------------------------------------------
// Associations on their own
// ---------------------------------------------------------------------------

class AssociationTest : public jutest::JuTest {};

TEST_F(AssociationTest, KeysOfDifferentClassesNeverMatch) {
  char narrow[] = "5";
  char narrowUpper[] = "AB";
  char narrowLower[] = "ab";
  char16_t wide[] = u"5";
  char16_t wideLower[] = u"ab";
  char16_t wideUpper[] = u"AB";
  JuSubString narrowKey(narrow, 1);
  JuSubString narrowAB(narrowUpper, 2);
  JuSubString narrowab(narrowLower, 2);
  JuSubStringW wideKey(wide, 1);
  JuSubStringW wideab(wideLower, 2);
  JuSubStringW wideAB(wideUpper, 2);
  JuIntIntKey int5(5, 0);
  JuIntIntKey int6(6, 0);
  JuIntPtrKey ptr5(5, nullptr);
  JuSubPtrKey sub5(&narrowKey, nullptr, 0, 0);
  JuSubPtrKey subAB(&narrowAB, nullptr, 0, 0);
  JuSubPtrKey subab(&narrowab, nullptr, 0, 0);
  JuSubPtrKeyW subW5(&wideKey, nullptr, 0, 0);
  JuSubPtrKeyW subWab(&wideab, nullptr, 0, 0);
  JuSubPtrKeyW subWAB(&wideAB, nullptr, 0, 0);

  struct Row {
    const JuAssociation* a;
    const JuAssociation* b;
    int exact;
    int noCase;
    const char* note;
  };
  const Row rows[] = {
      {&int5, &ptr5, 1, 0, "integer keys of both integer classes"},
      {&ptr5, &int5, 1, 0, "and the other way"},
      {&int5, &int6, 0, 0, "different integers"},
      {&int5, &sub5, 0, 0, "integer against the text 5"},
      {&sub5, &int5, 0, 0, "the text 5 against an integer"},
      {&sub5, &subW5, 0, 0, "narrow against UTF-16"},
      {&subW5, &sub5, 0, 0, "UTF-16 against narrow"},
      {&subAB, &subab, 0, 1, "narrow keys differing in case"},
      {&subab, &subab, 1, 1, "a narrow key against itself"},
      {&subWab, &subWAB, 0, 1, "UTF-16 keys differing in case"},
      {&subWAB, &subab, 0, 0, "UTF-16 against narrow, no case"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(row.exact, row.a->equalsKeyOf(*row.b));
    EXPECT_EQ(row.noCase, row.a->equalsKeyOfNoCase(*row.b));
  }
}

TEST_F(AssociationTest, IntPtrKeyKeepsItsValueAndReleasesItOnce) {
  int deaths = 0;
  int otherDeaths = 0;
  Tracked other(&otherDeaths);
  auto* value = new Tracked(&deaths);
  JuIntPtrKey entry(1, value);
  entry.setPtrValue(&other, 1);
  EXPECT_EQ(value, entry.ptrValue());
  entry.setIntValue(8);
  EXPECT_EQ(0, entry.intValue());
  entry.releaseOwned();
  EXPECT_EQ(1, deaths);
  entry.releaseOwned();
  EXPECT_EQ(1, deaths);
  EXPECT_EQ(0, otherDeaths);
}

TEST_F(AssociationTest, StringKeyReleasesOnlyWhatItOwns) {
  struct Row {
    uint32_t ownsKey;
    uint32_t ownsValue;
    int keyDeaths;
    int valueDeaths;
  };
  const Row rows[] = {{0, 0, 0, 0}, {1, 0, 1, 0}, {0, 1, 0, 1}, {1, 1, 1, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "owns key " << row.ownsKey << ", owns value " << row.ownsValue);
    int keyDeaths = 0;
    int valueDeaths = 0;
    auto* key = new TrackedKey<JuSubString, char>("k", 1, &keyDeaths);
    auto* value = new Tracked(&valueDeaths);
    {
      JuSubPtrKey entry(key, value, row.ownsKey, row.ownsValue);
      entry.releaseOwned();
      entry.releaseOwned();  // a second release finds nothing left
    }
    EXPECT_EQ(row.keyDeaths, keyDeaths);
    EXPECT_EQ(row.valueDeaths, valueDeaths);
    if (keyDeaths == 0) delete key;
    if (valueDeaths == 0) delete value;
  }
}

}  // namespace
