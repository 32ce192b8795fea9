// JuErrorList: posting, the keep-first rule, the out-of-memory mark, moving
// and copying, and the stack of current lists.

#include <cstring>
#include <string>
#include <vector>

#include "julib/internal/fault.h"
#include "julib/threads.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

namespace {

using jutest::JuTest;
using jutest::ScopedErrorList;
using Ids = std::vector<uint16_t>;

class ErrorList : public JuTest {};

TEST_F(ErrorList, KeepAllStoresInPostingOrder) {
  juPostError(2701);
  juPostWarning(2702);
  juPostError(2708);
  EXPECT_EQ(errors_.ids(), (Ids{2701, 2702, 2708}));
  EXPECT_EQ(JuErrorList::lastErrorId(), 2708);
  EXPECT_EQ(errors_->errors, 2u);
  EXPECT_EQ(errors_->warnings, 1u);
  EXPECT_EQ(errors_->status(), 1);
}

TEST_F(ErrorList, WithoutKeepAllOnlyTheFirstErrorStays) {
  ScopedErrorList first(0);
  EXPECT_NE(juPostWarning(2735), juNullError());  // a warning before any error is kept
  JuError* kept = juPostError(2701);
  EXPECT_NE(kept, juNullError());
  JuError* dropped = juPostError(2702);
  EXPECT_EQ(dropped, juNullError());
  EXPECT_EQ(dropped->addParam("ignored"), juNullError());
  EXPECT_EQ(juPostWarning(2736), juNullError());  // warnings after the error go too
  EXPECT_EQ(first.ids(), (Ids{2735, 2701}));
  EXPECT_EQ(first->status(), 1);
  EXPECT_EQ(juNullError()->messageText.length, 0u);  // the shared null error is untouched
}

TEST_F(ErrorList, ParametersFillTheMessage) {
  juPostError(2705)->addParam(int64_t{17})->addParam("the string");
  EXPECT_EQ(errors_.message(0), "Error parsing the string at offset 17.");
  juPostError(2701)->addParam(u"\u00E9t\u00E9");
  EXPECT_EQ(errors_.message(1), "Number too large: \u00E9t\u00E9");
  EXPECT_STREQ(errors_->at(1)->message(), "Number too large: \u00E9t\u00E9");  // UTF-8, kind 3
}

TEST_F(ErrorList, MalformedUtf8ParameterIsReadAsAnsiAndLeavesNoError) {
  JuError* error = juPostError(2701);
  error->addParam("caf\xE9");  // Latin-1, not UTF-8
  EXPECT_EQ(errors_.ids(), (Ids{2701}));
  EXPECT_EQ(errors_.message(0), "Number too large: caf\u00E9");
}

TEST_F(ErrorList, OutOfMemoryMark) {
  JuErrorList::postOutOfMemory();
  EXPECT_EQ(errors_->errors, 1u);
  EXPECT_EQ(errors_->count, 0u);
  EXPECT_EQ(errors_->status(), 0);  // nothing stored
  JuError* last = JuErrorList::lastError();
  EXPECT_EQ(last, juOutOfMemoryError());
  EXPECT_EQ(std::u16string(last->messageW()), u"Out Of Memory");
  EXPECT_STREQ(last->message(), "Out Of Memory");
  EXPECT_STREQ(last->sqlState(), "HY001");
  EXPECT_EQ(JuErrorList::lastErrorId(), 30190);
  JuErrorList::postOutOfMemory();
  EXPECT_EQ(errors_->errors, 1u);
  // Parameters chained on the shared error change nothing.
  EXPECT_EQ(last->addParam("x"), last);
  EXPECT_EQ(last->messageText.length, 0u);
  EXPECT_EQ(errors_->removeLast(), juOutOfMemoryError());
  EXPECT_EQ(errors_->errors, 0u);
  EXPECT_EQ(errors_->pendingOutOfMemory, 0);
}

TEST_F(ErrorList, OutOfMemoryReplacesTheErrorOfAKeepFirstList) {
  ScopedErrorList first(0);
  juPostError(2701);
  JuErrorList::postOutOfMemory();
  EXPECT_EQ(first->count, 0u);
  EXPECT_EQ(first->errors, 1u);
  EXPECT_EQ(JuErrorList::lastError(), juOutOfMemoryError());
}

TEST_F(ErrorList, PopLastNeverDeletesTheStaticErrors) {
  JuErrorList::postOutOfMemory();
  JuErrorList::popLast();
  JuErrorList::popLast();  // empty: nothing happens
  EXPECT_EQ(juOutOfMemoryError()->messageId, 30190);
  EXPECT_EQ(JuErrorList::post(nullptr), juNullError());
}

TEST_F(ErrorList, ReadingAndRemovingByIndex) {
  juPostError(2701);
  juPostError(2702);
  EXPECT_EQ(errors_->at(2), nullptr);
  EXPECT_EQ(errors_->removeAt(2), nullptr);
  EXPECT_EQ(errors_->count, 2u);
  EXPECT_EQ(errors_->first()->messageId, 2701);
  EXPECT_EQ(errors_->next()->messageId, 2702);
  EXPECT_EQ(errors_->next(), nullptr);
  JuError* removed = errors_->removeAt(0);
  ASSERT_NE(removed, nullptr);
  EXPECT_EQ(removed->owningList, nullptr);
  EXPECT_EQ(errors_->errors, 1u);
  EXPECT_EQ(errors_->cursor, 0u);
  delete removed;
}

TEST_F(ErrorList, WarningsAndSeverity) {
  juPostError(2701);
  juPostError(2702);
  errors_->makeWarningsFrom(0);
  EXPECT_EQ(errors_->errors, 0u);
  EXPECT_EQ(errors_->warnings, 2u);
  EXPECT_EQ(errors_->status(), 3);
  EXPECT_TRUE(errors_->hasOnlyWarnings());
  JuErrorList::setLastSeverity(0);
  EXPECT_EQ(errors_->errors, 1u);
  EXPECT_EQ(errors_->warnings, 1u);
  EXPECT_FALSE(errors_->at(1)->isWarning());
}

TEST_F(ErrorList, MakeAllWarningsTurnsTheMarkIntoAStoredWarning) {
  juPostError(2701);
  JuErrorList::postOutOfMemory();
  errors_->makeAllWarnings();
  EXPECT_EQ(errors_.ids(), (Ids{2701, 2}));
  EXPECT_EQ(errors_.message(1), "Out Of Memory");
  EXPECT_EQ(errors_->errors, 0u);
  EXPECT_EQ(errors_->warnings, 2u);
  EXPECT_EQ(errors_->pendingOutOfMemory, 0);
}

TEST_F(ErrorList, MoveAndCopyCarryErrorsAndTheMark) {
  JuErrorList source(0, 1);
  {
    ScopedErrorList scope(1);
    JuErrorList::pushCurrent(&source);
    juPostError(2701)->addParam("a")->setSqlState("42000", kJuSqlStateGeneral);
    juPostWarning(2735);
    JuErrorList::postOutOfMemory();
    JuErrorList::popCurrent();
  }
  JuErrorList copy(0, 1);
  copy.copyFrom(source);
  EXPECT_EQ(source.count, 2u);  // unchanged
  EXPECT_EQ(copy.count, 2u);
  EXPECT_EQ(copy.errors, 2u);  // one stored, one the mark
  EXPECT_EQ(copy.pendingOutOfMemory, 1);
  EXPECT_STREQ(copy.at(0)->sqlState(), "42000");
  EXPECT_STREQ(copy.at(0)->message(), "Number too large: a");
  EXPECT_TRUE(copy.at(1)->isWarning());

  errors_->moveFrom(source);
  EXPECT_EQ(source.count, 0u);
  EXPECT_EQ(source.errors + source.warnings, 0u);
  EXPECT_EQ(source.pendingOutOfMemory, 0);
  EXPECT_EQ(errors_.ids(), (Ids{2701, 2735, kJuMsgOutOfMemory}));
  EXPECT_EQ(errors_->at(0)->owningList, &errors_.list());
}

TEST_F(ErrorList, MoveLastToAndAppends) {
  juPostError(2701)->addParam("x");
  juPostError(2702)->addParam("y");
  juPostError(2708);
  errors_->moveLastTo(0);
  EXPECT_EQ(errors_.ids(), (Ids{2708, 2701, 2702}));
  errors_->appendToAllFrom(" (more)", 1);
  EXPECT_EQ(errors_.message(2), "Number contains an invalid character: y (more)");
  juAppendMessageToError(2701, 0)->addParam("z");  // numbering restarts at 1
  EXPECT_EQ(errors_.message(0), "Invalid hexadecimal character found during conversion.Number too large: z");
  EXPECT_EQ(juAppendMessageToError(2701, 9), juNullError());
  juAppendMessageToLastError(2716);
  EXPECT_EQ(errors_.message(2), "Number contains an invalid character: y (more)Cannot handle strings larger than 65500 bytes.");
}

TEST_F(ErrorList, JoinMessages) {
  juPostError(2701)->addParam("1");
  juPostError(2702)->addParam("2");
  JuString joined;
  EXPECT_EQ(errors_->joinMessages(joined, '\n'), 0);
  EXPECT_EQ(std::string(joined.data, joined.length), "Number too large: 1\nNumber contains an invalid character: 2");
}

TEST_F(ErrorList, PostingVariants) {
  juPostErrorA(2701, "ANSI \xE9 %s1")->addParam(u"p");
  juPostErrorExW(2702, 77, u"wide %d1", 1)->addParam(int64_t{-5});
  juPostErrorExA(2708, 5, "utf8 \xC3\xA9", 0, JuCodePageKind::kUtf8);
  EXPECT_EQ(errors_.message(0), "ANSI \u00E9 p");
  EXPECT_EQ(errors_.message(1), "wide -5");
  EXPECT_TRUE(errors_->at(1)->isWarning());
  EXPECT_EQ(errors_->at(1)->nativeCode, 77u);
  EXPECT_EQ(errors_.message(2), "utf8 \u00E9");
  EXPECT_EQ(JuErrorList::lastNativeError(), 5u);
}

// Narrow text of kind 2 holds UTF-16 units: a counted length is bytes (an odd
// last byte is no unit) and terminated text ends at a zero unit. Every block
// is allocated to its exact size, so a read past it shows under the sanitizer.
TEST_F(ErrorList, Utf16NarrowTextIsMeasuredInBytes) {
  const auto block = [](const char16_t* units, size_t bytes) {
    std::vector<char> out(bytes);
    std::memcpy(out.data(), units, bytes);
    return out;
  };
  static const std::vector<char> kTemplate = block(u"x %s1", 12);
  using Entry = std::string (*)(const std::vector<char>&);
  const Entry viewParam = [](const std::vector<char>& in) {
    ScopedErrorList scope;
    juPostError(2701)->addParam(JuSubString(in.data(), in.size(), JuCodePageKind::kUtf16));
    return scope.message(0);
  };
  const Entry postedText = [](const std::vector<char>& in) {
    ScopedErrorList scope;
    juPostErrorExA(2701, 0, in.data(), 0, JuCodePageKind::kUtf16)->addParam(u"ok");
    return scope.message(0);
  };
  const Entry textParam = [](const std::vector<char>& in) {
    ScopedErrorList scope;
    juPostErrorExA(2701, 0, kTemplate.data(), 0, JuCodePageKind::kUtf16)->addParam(in.data());
    return scope.message(0);
  };
  const Entry paramString = [](const std::vector<char>& in) {
    JuParamStringW p;
    EXPECT_EQ(p.assignFromMultiByte(in.data(), JuCodePageKind::kUtf16), 0);
    p.addParam(u"ok");
    return jutest::toUtf8(p.data, p.length);
  };
  struct Row {
    Entry entry;
    std::vector<char> input;
    std::string expected;
    const char* note;
  };
  const Row rows[] = {
      {viewParam, block(u"abcd", 8), "Number too large: abcd", "view of 8 bytes, no terminator"},
      {viewParam, block(u"abcd", 7), "Number too large: abc", "odd view length"},
      {postedText, block(u"abcd", 10), "abcd", "terminated text"},
      {postedText, kTemplate, "x ok", "terminated template"},
      {paramString, kTemplate, "x ok", "parameter string template"},
      {textParam, block(u"abcd", 10), "x abcd", "terminated parameter of a kind-2 error"},
      {textParam, block(u"\u4E00b", 6), "x \u4E00b", "a unit whose first byte is zero"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(row.entry(row.input), row.expected);
  }
}

TEST_F(ErrorList, StackOfCurrentLists) {
  JuErrorList* outer = JuErrorList::current();
  JuErrorList inner(42, 1);
  JuErrorList::pushCurrent(&inner);
  EXPECT_EQ(JuErrorList::current(), &inner);
  EXPECT_EQ(inner.previous, outer);
  EXPECT_EQ(JuErrorList::currentOwner(), 42u);
  EXPECT_EQ(JuErrorList::popCurrent(), &inner);
  EXPECT_EQ(JuErrorList::current(), outer);
  {
    // A list destroyed while current does not stay current.
    JuErrorList shortLived(0, 1);
    JuErrorList::pushCurrent(&shortLived);
  }
  EXPECT_EQ(JuErrorList::current(), outer);
}

TEST_F(ErrorList, FailedGrowthLeavesTheMarkAndNoLeak) {
  for (int i = 0; i < 16; ++i) juPostError(2701);  // the initial 16 slots
  julib::internal::failAllocation(3, false);      // the error, its text, then the growth
  JuError* error = juPostError(2702);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(error, juNullError());
  EXPECT_EQ(errors_->count, 16u);
  EXPECT_EQ(errors_->pendingOutOfMemory, 1);
}

// Every allocation of a post can fail: the outcome is a stored error or the
// mark, never a crash or a leak (under the sanitizer build).
TEST_F(ErrorList, EveryAllocationOfAPostCanFail) {
  jutest::failEachAllocation([](jutest::AllocationFault& fault) {
    ScopedErrorList scope(1);
    fault.arm();
    juPostError(2701)->addParam("caf\xE9")->addParam(int64_t{5});
    if (!fault.disarm()) {
      EXPECT_EQ(scope.message(0), "Number too large: caf\u00E9");
      return;
    }
    EXPECT_EQ(scope->pendingOutOfMemory, 1);
  });
}

}  // namespace
