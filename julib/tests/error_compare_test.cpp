// The order of errors: SQLSTATE classes first, then row, column, third key.

#include "testing/ju_test.h"

namespace {

struct Row {
  const char* a;
  int64_t rowA;
  const char* b;
  int64_t rowB;
  int16_t expected;
  const char* note;
};

const Row kRows[] = {
    {"08S01", -1, "01000", -1, -1, "communication link failure first"},
    {"01000", -1, "08S01", -1, 1, "the other way round"},
    {"01S01", -1, "42000", -1, -1, "error in row next"},
    {"42000", -1, "01000", -1, -1, "rank 1 before rank 0"},
    {"IM001", -1, "01000", -1, -1, "equal ranks: class IM first"},
    {"IM001", -1, "42000", -1, 1, "but after a rank-1 class"},
    {"01000", -1, "IM001", -1, 1, "IM on the other side"},
    {"42000", 3, "42000", 5, -1, "same SQLSTATE: by row"},
    {"42000", 5, "42S02", 3, 1, "same class: by row"},
    {"HZ000", -1, "HY000", -1, 0, "different classes of equal rank: by row"},
    {"I0000", 1, "00000", 2, -1, "both rank 0, neither IM: by row"},
    {"03000", -1, "02000", -1, -1, "03 is rank 1, 02 rank 0"},
};

TEST(JuErrorCompare, Table) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.note);
    JuError a(2701, u"a", 0, 0, 0);
    JuError b(2701, u"b", 0, 0, 0);
    a.setSqlState(row.a, kJuSqlStateGeneral);
    b.setSqlState(row.b, kJuSqlStateGeneral);
    a.row = row.rowA;
    b.row = row.rowB;
    EXPECT_EQ(a.compare(b), row.expected);
    EXPECT_EQ(b.compare(a), -row.expected);
  }
}

TEST(JuErrorCompare, FallbackStates) {
  JuError plain(2701, u"", 0, 0, 0);  // no SQLSTATE: HY000
  JuError other(2701, u"", 0, 0, 0);
  other.setSqlState("HY000", 0);
  other.row = 1;
  EXPECT_EQ(plain.compare(other), -1);  // same SQLSTATE, row -1 < 1
  // The out-of-memory error orders as HY001: same class as HY000.
  EXPECT_EQ(juOutOfMemoryError()->compare(plain), 0);
}

}  // namespace
