// The branding engine `brand`: the settings of a branding run (from the
// branding INF and from the command line or the main dialog), the file lists
// and the search list, their validation, and the run itself.
//
// Texts: file names, the file prefix, the target directory, the suffix and
// everything read from the INF are UTF-8 bytes, as the file system stores
// names. The company name, product name, message prefix and new version are
// UTF-16, as the version-resource rewriter takes them; text from the command
// line reaches them converted as UTF-8 (setters taking `const char*`), never
// through the ANSI code page.
//
// Heap texts are owned by the object and made with the library's allocator;
// a field that could not be allocated is null and reads as empty.
//
// The object knows no front end: what a run shows or asks goes through its
// reporter (engine/reporter.h), which the console, the dialogs or a silent
// run set.
#ifndef BRAND_ENGINE_BRAND_H
#define BRAND_ENGINE_BRAND_H

#include <cstddef>
#include <cstdint>

#include "engine/reporter.h"
#include "julib/containers.h"
#include "julib/object.h"

class JuErrorList;

namespace brandengine {
class RunDirectories;
}

// ---------------------------------------------------------------------------
// Status codes: the outcome of the last action. The message shown for status
// N is the tool's catalogue entry 400 + N, except status 8 (entry 411).
// ---------------------------------------------------------------------------

inline constexpr uint32_t kBrandStatusSuccess = 0;
inline constexpr uint32_t kBrandStatusCancel = 1;          // cancel while branding, Escape
inline constexpr uint32_t kBrandStatusConfirmClose = 3;    // Cancel or close of the main dialog
inline constexpr uint32_t kBrandStatusReservedPrefix = 5;
inline constexpr uint32_t kBrandStatusPrefixLength = 6;
inline constexpr uint32_t kBrandStatusPrefixCharacters = 7;  // one that cannot stand in a file name
inline constexpr uint32_t kBrandStatusConfirmBrand = 8;    // the question before a dialog run
inline constexpr uint32_t kBrandStatusFilesMissing = 9;
inline constexpr uint32_t kBrandStatusCopyFailed = 10;
inline constexpr uint32_t kBrandStatusNamesMissing = 12;   // company or product name empty
inline constexpr uint32_t kBrandStatusMessagePrefix = 13;
inline constexpr uint32_t kBrandStatusDirectory = 14;
inline constexpr uint32_t kBrandStatusSuffix = 15;
inline constexpr uint32_t kBrandStatusVersion = 16;
inline constexpr uint32_t kBrandStatusInfInvalid = 18;

// A run refused for a setting the user gave (the front ends say so and let
// the user try again): the prefix, the names, the message prefix.
constexpr bool isRefusedSetting(uint32_t status) {
  return status == kBrandStatusReservedPrefix || status == kBrandStatusPrefixLength ||
         status == kBrandStatusPrefixCharacters || status == kBrandStatusNamesMissing ||
         status == kBrandStatusMessagePrefix;
}

// The INF's PRODUCT when it has none.
inline constexpr char16_t kBrandDefaultProduct[] = u"Tarnwell Brisklane Branding Tool for ODBC - 64 bits";

// The prefix of the driver files as shipped: two characters and a NUL (UTF-8
// bytes), process-wide. Set by brand::readInf, shown by brand::showStatus.
extern char brandSourcePrefix[3];

// True when `list` (of texts) holds an entry equal to `name`, byte for byte.
bool brandHoldsName(const JuArrayPVoid& list, const char* name);

class brand : public JuNode {
 public:
  // A new object with the defaults: message-prefix mode on, file prefix "CD",
  // the target directory `currentDirectory` with a separator appended.
  explicit brand(const char* currentDirectory);
  // Frees every heap text and the entries of every list.
  ~brand() override;
  brand(const brand&) = delete;
  brand& operator=(const brand&) = delete;

  // --- Setters: each replaces (and frees) the old text; out of memory is
  // recorded on the error list and leaves the field null. ------------------

  void setFilePrefix(const char* text);
  void setCompanyName(const char16_t* text);
  void setCompanyName(const char* utf8);
  void setProductName(const char16_t* text);
  void setProductName(const char* utf8);
  // No length check here: the front ends check 1 to 30 characters.
  void setMessagePrefix(const char16_t* text);
  void setMessagePrefix(const char* utf8);
  // Stores the text also when it is invalid.
  //   setSuffix("32") -> 0; setSuffix("3x") -> 1 (and "3x" is stored)
  [[nodiscard]] int setSuffix(const char* text);
  // 0 for "dd.dd" or "dd.dd.dd.dd" (d a digit "0"-"9"), else 1. A text of
  // another length is neither stored nor valid; one of length 5 or 11 is
  // stored even when a character is wrong.
  //   setVersion(u"06.00") -> 0; setVersion(u"6.00") -> 1, not stored;
  //   setVersion(u"06,00") -> 1, stored
  [[nodiscard]] int setVersion(const char16_t* text);
  [[nodiscard]] int setVersion(const char* utf8);
  // Null and "" are ignored; otherwise the text with "/" appended unless it
  // already ends with a separator, each '\' taken as the separator '/'.
  //   setDirectory("/data/drivers") -> targetDirectory "/data/drivers/"
  void setDirectory(const char* text);
  // The front end that shows what runs report and answers their questions
  // (null: a silent one). The object does not own it.
  void setReporter(brandengine::Reporter* reporter);
  brandengine::Reporter& reporter() const;
  // The directories the run brands in, listed once a run and kept current
  // as it writes; null when out of memory (recorded). Outside run(), each
  // checkMissingFiles, brandAll and brandFile lists them anew.
  brandengine::RunDirectories* runDirectories();
  // The special branding key "CORVANE61": CORVANE61 mode and suffix mode
  // on, the suffix "32". What it replaced is kept for resetOptions.
  void setCorvane61Mode();
  // CORVANE61 mode off; when setCorvane61Mode turned it on, suffix mode and
  // the suffix are what they were before, so a later run without the key
  // does not keep its suffix behind a hidden field.
  void resetOptions();

  // --- Queries ---------------------------------------------------------------

  // The main list's entry at `index` (below fileCount()), else null.
  const char* fileName(uint64_t index) const;
  uint64_t fileCount() const;
  // The search list's entry at `index`, else null.
  const char* searchEntry(uint64_t index) const;
  // Free every entry of the main list / the search list; return 1.
  int clearFileList();
  int clearSearchList();
  // 1 when the file prefix is, ignoring case, "JU" or "WY", or "KJ" or "VR"
  // while version mode is off; else 0.
  int isReservedPrefix() const;
  // 1 when the two bytes at `pair` equal the RZM version code, the driver
  // version code or one of the additional codes (in that order). A code that
  // is not two characters long matches nothing.
  int isVersionCode(const char* pair) const;
  // The low byte of `value` as an upper-case hexadecimal digit: 0-9 give
  // "0"-"9", larger values value + 55 ("A" for 10).
  static char hexDigit(uint32_t value);

  // --- List builders: 1, or 0 when an entry cannot be allocated or inserted
  // (the entries added so far stay). -----------------------------------------

  // For each comma-separated item of `commaText` (commas inside quotes do not
  // split; blank items are skipped): the item with its first "##" replaced
  // by `code` (only when the code has two characters), lower-cased, with
  // `extension` appended (null: none; never to a name ending in ".exe"),
  // appended to `destination` unless an equal entry is there.
  //   addFileList(list, "a##x,b", "05", ".dll") -> a05x.dll, b.dll
  [[nodiscard]] int addFileList(JuArrayPVoid& destination, const char* commaText, const char* code, const char* extension);
  // addFileList into the main list once for each additional version code,
  // in order, then once with the driver version code.
  [[nodiscard]] int addFiles(const char* commaText, const char* extension);
  // The same into the optional list.
  [[nodiscard]] int addOptionalFiles(const char* commaText, const char* extension);
  // The same into the search list, without extension.
  [[nodiscard]] int addSearchEntries(const char* commaText);
  // Adds the INF's old version to the search list: "0", its first character,
  // "." and its third and fourth characters when its second character is a
  // "." (8.02.0293 -> 08.02), else the INF version text itself. 1, or 0.
  [[nodiscard]] int addOldVersion();

  // --- The branding INF ------------------------------------------------------

  // Reads the branding INF, from `programDirectory` when it holds one, else
  // from the current directory, into the object. The driver version code
  // stays empty when the INF is missing or lacks PLATFORM or VERSION: the
  // callers report status 18 then.
  void readInf(const char* programDirectory);

  // --- The run -----------------------------------------------------------------

  // Validates the prefix (status 5 reserved, 6 not two characters, 7 a
  // character that cannot stand in the driver files' names), completes the optional list with
  // the RZM names, checks for missing files (status 9 when the user cancels)
  // and brands: the reporter runs brandAll where its front end wants it.
  // 1 when the branding ran, 0 when it stopped (the status tells why; an
  // allocation failure leaves the status as it was and the reason on the
  // error list).
  [[nodiscard]] int run();
  // Lists the main-list files (those not also optional) that cannot be
  // opened and asks the reporter whether to cancel (a silent run asks
  // nothing and goes on). 0 when
  // the user chose to cancel, else 1 (status 9 is set whenever a file is
  // missing).
  [[nodiscard]] int checkMissingFiles();
  // Shows the message of the current status; `detail` (null: none) is the
  // file name of status 10, or a text shown in place of the message for the
  // statuses other than 8 and 10. Returns 1 when a Yes/No question (status
  // 1, 3 or 8) was answered Yes; silent runs show nothing and return 0.
  int showStatus(const char* detail);

  // --- The branding loop -------------------------------------------------------

  // Brands every main-list file, reporting each to the reporter; a file that
  // is absent is skipped without a report. Returns 0. Status 1 or 10, or
  // the reporter's stop between files (status 1), ends the loop.
  int brandAll();
  // Copies the main-list file `index` under its new name, rewriting names,
  // CLSIDs, versions and the message prefix on the way, then its version
  // resource, then its time. 1 when branded; else 0 with status 9 (source
  // missing) or 10 (copy failed: no target is left behind, the source is as
  // it was, and the status was shown with the new name).
  int brandFile(uint64_t index);
  // The name the listed file `listedName` is written under, as a heap text
  // (null: out of memory recorded). With the file prefix "XY":
  //   "abora28.dll" -> "xyora28.dll"; "absetup.exe" -> "absetup.exe";
  //   "abxxkj.dll" -> "abxxxy.dll"; in suffix mode with suffix "32" and
  //   driver code 28: "abora28.dll" -> "xyora32.dll"
  char* newFileName(const char* listedName) const;
  // Rewrites the search entries that a file named `newName` holds (by its
  // extension: ".dll", ".cnt", ".ini") inside `chunk` of `length` bytes:
  // upper-case occurrences get `filePrefix` upper-cased, lower-case ones
  // lower-cased, CLSIDs their prefix digits, versions the new version. 1, or
  // 0 when memory runs out.
  int replaceNames(char* chunk, size_t length, const char* newName, const char* filePrefix);
  // Writes `newPattern` over every whole occurrence of `oldPattern` in
  // `chunk`, both `patternLength` bytes. 1; 0 when the chunk is null or
  // empty, a pattern is null, the lengths differ or are longer than the chunk.
  //   "..[Brisklane][ODBC \0\0\0.." -> "..[ACME][ODBC \0\0\0\0\0\0\0\0.."
  static int replaceMessagePrefix(char* chunk, size_t length, const char* oldPattern, size_t oldLength,
                                  const char* newPattern, size_t newLength);
  // The offset of the first occurrence of `pattern` in `buffer`, or -1 (also
  // for a null pointer, a length 0 or a pattern longer than the buffer).
  //   findBytes("abcabc", 6, "ca", 2) -> 2
  static int64_t findBytes(const char* buffer, size_t length, const char* pattern, size_t patternLength);

  // --- Fields ------------------------------------------------------------------

  uint32_t status = kBrandStatusSuccess;
  uint32_t corvane61Mode = 0;    // file names get "crvn" replaced by "od"
  uint32_t messagePrefixMode = 1;
  uint32_t versionMode = 0;
  uint32_t suffixMode = 0;
  uint32_t silent = 0;           // no beeps, message boxes or console questions
  uint32_t replaceInstall = 0;
  const char* currentFile = nullptr;  // the main-list name being branded
  char* xmlProviderName = nullptr;    // XMLVEN
  // Version codes: two characters and a NUL; each stands for "##" in a
  // listed name.
  char driverVersionCode[3] = {};     // DRVVER; empty until an INF is read
  char rzmVersionCode[3] = {};        // RZMVER
  JuArrayPVoid additionalVersionCodes;  // ADDITIONAL_DRVVERS; owns its heap codes
  JuArrayPVoid searchList;
  char* filePrefix = nullptr;
  char* targetDirectory = nullptr;    // ends with a separator
  char* platformText = nullptr;       // PLATFORM + "  Vers. " + VERSION
  char* productText = nullptr;        // PRODUCT
  char* rzmList = nullptr;            // RZM, with the ICU library's name appended
  char* libraryExtension = nullptr;   // LIBEXTENSION
  char16_t* companyName = nullptr;
  char16_t* productName = nullptr;
  char16_t* messagePrefix = nullptr;
  char16_t* newVersion = nullptr;
  char* infVersionText = nullptr;     // VERSION
  char* suffix = nullptr;
  JuArrayPVoid mainFileList;          // lower-case names with extension, INF order
  JuArrayPVoid optionalFileList;      // names that may be missing
  JuErrorList* errorList = nullptr;   // the program's list; null: the current one
  uint64_t helpIndex = 0;             // first HELP entry of the main list
  uint64_t helpCount = 0;
  uint32_t siblingMode = 0;           // PRODUCT names a sibling product

 private:
  // Starts listing the directories anew, unless a run is going on.
  void startListing();
  // run() after the prefix checks, with its directories listed once.
  int runListed();

  // The directories of the current run, each listed once.
  brandengine::RunDirectories* directories_ = nullptr;
  bool inRun_ = false;
  brandengine::Reporter* reporter_ = nullptr;
  // What setCorvane61Mode replaced, while keyTaken_ is set.
  bool keyTaken_ = false;
  uint32_t suffixModeBeforeKey_ = 0;
  char* suffixBeforeKey_ = nullptr;
};

// Gives an object a reporter for a scope and takes it back at the end.
class BrandReporterScope {
 public:
  BrandReporterScope(brand& object, brandengine::Reporter* reporter) : object_(object) {
    object.setReporter(reporter);
  }
  ~BrandReporterScope() { object_.setReporter(nullptr); }
  BrandReporterScope(const BrandReporterScope&) = delete;
  BrandReporterScope& operator=(const BrandReporterScope&) = delete;

 private:
  brand& object_;
};

#endif  // BRAND_ENGINE_BRAND_H
