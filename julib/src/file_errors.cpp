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
    {2, kJuMsgFileNotFound, true},
    {9, kJuMsgInvalidFileHandle, false},
    {12, kJuMsgNotEnoughMemory, false},
    {13, kJuMsgFileAccessDenied, true},
    {24, kJuMsgTooManyOpenFiles, false},
    {36, kJuMsgRegionLocked, false},
};

template <typename Unit>
JuError* postFileError(int32_t errorNumber, const Unit* fileName) {
  static constexpr Unit kEmpty[] = {0};
  for (const FileErrorRow& row : kFileErrors) {
    if (row.number != errorNumber) continue;
    JuError* error = juPostError(row.messageId);
    return row.namesFile ? error->addParam(fileName != nullptr ? fileName : kEmpty) : error;
  }
  return juPostError(kJuMsgFileInputOutput)->addParam(errorNumber);
}

}  // namespace

JuError* juPostFileError(int32_t errorNumber, const char* fileName) { return postFileError(errorNumber, fileName); }

JuError* juPostFileErrorW(int32_t errorNumber, const char16_t* fileName) {
  return postFileError(errorNumber, fileName);
}
