// The file-error table: a runtime error number to its catalogue message.

#include <iterator>

#include "julib/errors.h"
#include "julib/files.h"

namespace {

struct FileErrorRow {
  int32_t number;
  uint16_t messageId;
  bool namesFile;
};

constexpr FileErrorRow kFileErrors[] = {
    {2, 1509, true},     // "File not found '%s1'."
    {9, 1507, false},    // "Invalid file handle."
    {12, 1503, false},   // "Not enough memory for this command."
    {13, 1508, true},    // "Access to file denied '%s1'."
    {24, 30045, false},  // "The maximum number of files are already open."
    {36, 1512, false},   // "Whole or part of the region has already been locked."
};
constexpr uint16_t kMsgInputOutput = 30041;  // "Error (%d1) on input or output to a file."

template <typename Unit>
JuError* postFileError(int32_t errorNumber, const Unit* fileName) {
  static constexpr Unit kEmpty[] = {0};
  for (const FileErrorRow& row : kFileErrors) {
    if (row.number != errorNumber) continue;
    JuError* error = juPostError(row.messageId);
    return row.namesFile ? error->addParam(fileName != nullptr ? fileName : kEmpty) : error;
  }
  return juPostError(kMsgInputOutput)->addParam(errorNumber);
}

}  // namespace

JuError* juPostFileError(int32_t errorNumber, const char* fileName) { return postFileError(errorNumber, fileName); }

JuError* juPostFileErrorW(int32_t errorNumber, const char16_t* fileName) {
  return postFileError(errorNumber, fileName);
}
