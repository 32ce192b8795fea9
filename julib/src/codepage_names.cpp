// Code page ids and names: the binary searches over the constant tables
// (generated from julib/resources/codepages_*.txt) and the lookups built on
// them.

#include "julib/codepage.h"

namespace {

int foldAscii(int c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// One binary search for every table: `compare(row)` orders the wanted key
// against a row's key (< 0: the key sorts before the row).
template <typename Row, typename Compare>
const Row* findRow(const Row* table, size_t rows, Compare compare) {
  if (table == nullptr || rows == 0) return nullptr;
  size_t low = 0;
  size_t high = rows;  // one past the last candidate, so no index goes below 0
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const int order = compare(table[middle]);
    if (order == 0) return &table[middle];
    if (order > 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return nullptr;
}

int compareIds(int64_t key, int64_t rowKey) { return key < rowKey ? -1 : (key > rowKey ? 1 : 0); }

}  // namespace

int juAsciiStrICompare(const char* a, const char* b) {
  // Null sorts before every text; the tables hold none, but callers may pass it.
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  for (;; ++a, ++b) {
    // Signed characters, as the tables were sorted.
    int x = static_cast<signed char>(*a);
    int y = static_cast<signed char>(*b);
    if (x != y) {
      x = foldAscii(x);
      y = foldAscii(y);
      if (x != y) return x < y ? -1 : 1;
    }
    if (x == 0) return 0;
  }
}

const char* juTableLookupPointer(int64_t key, const JuIdNameRow* table, size_t rows) {
  const JuIdNameRow* row = findRow(table, rows, [key](const JuIdNameRow& r) { return compareIds(key, r.id); });
  return row != nullptr ? row->name : nullptr;
}

int64_t juTableLookupValue(int64_t key, const JuIdValueRow* table, size_t rows) {
  const JuIdValueRow* row = findRow(table, rows, [key](const JuIdValueRow& r) { return compareIds(key, r.key); });
  return row != nullptr ? row->value : kJuCodePageMiss;
}

int64_t juTableLookupName(const char* key, const JuNameIdRow* table, size_t rows) {
  if (key == nullptr) return kJuNoCodePage;
  const JuNameIdRow* row =
      findRow(table, rows, [key](const JuNameIdRow& r) { return juAsciiStrICompare(key, r.name); });
  return row != nullptr ? row->id : kJuNoCodePage;
}

const char* juCodePageIdToName(int64_t id) { return juTableLookupPointer(id, juIcuNameTable, juIcuNameTableRows); }

const char* juCodePageIdToMimeName(int64_t id) {
  const char* name = juTableLookupPointer(id, juMimeNameTable, juMimeNameTableRows);
  return name != nullptr ? name : juCodePageIdToName(id);
}

int64_t juCodePageNameToId(const char* name) {
  const int64_t id = juTableLookupName(name, juMimeIdTable, juMimeIdTableRows);
  return id != kJuNoCodePage ? id : juTableLookupName(name, juNameIdTable, juNameIdTableRows);
}

int64_t juLegacyCodePageToId(int64_t legacy) {
  return juTableLookupValue(legacy, juLegacyCodePageTable, juLegacyCodePageTableRows);
}
