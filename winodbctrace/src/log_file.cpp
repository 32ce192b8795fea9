// One open file of a log set, written whole records at a time (see
// log_file.h).

#include "log_file.h"

#include "julib/object.h"

namespace vrtrace::logfile {

JuTraceLogFile* open(const char* name, bool empty, bool soleWriter, platform::ErrorNumber* error) {
  *error = platform::kErrorNone;
  auto* file = static_cast<JuTraceLogFile*>(juMallocChecked(sizeof(JuTraceLogFile)));
  if (file == nullptr) return nullptr;  // out of memory is recorded
  file->soleWriter = soleWriter;
  file->readable = soleWriter && !empty;
  file->lineOpen = false;
  // Shared with every other process (no lock), written at its end. The name
  // has its separators turned already, a double-byte character's trail byte
  // left as it is.
  const uint32_t options = platform::kOpenCreate | platform::kOpenAppend | platform::kOpenSystemPath |
                           (empty ? platform::kOpenTruncate : 0);
  *error = file->readable ? platform::openFile(name, options | platform::kOpenReadWrite, &file->descriptor)
                          : platform::kErrorAccessDenied;
  if (*error == platform::kErrorAccessDenied) {
    // A file that may only be written is written all the same; its end is
    // then never looked at.
    file->readable = false;
    *error = platform::openFile(name, options | platform::kOpenWriteOnly, &file->descriptor);
  }
  if (*error == platform::kErrorNone) return file;
  juFree(file);
  return nullptr;
}

platform::ErrorNumber close(JuTraceLogFile* file) {
  const platform::ErrorNumber error = platform::closeFile(file->descriptor);
  juFree(file);
  return error;
}

uint64_t size(const JuTraceLogFile& file) {
  uint64_t bytes = 0;
  return platform::fileSize(file.descriptor, &bytes) == platform::kErrorNone ? bytes : 0;
}

uint64_t lookAtEnd(JuTraceLogFile& file) {
  const uint64_t bytes = size(file);
  char last = '\n';
  size_t done = 0;
  if (bytes != 0 && file.readable &&
      platform::readFileAt(file.descriptor, bytes - 1, &last, 1, &done) == platform::kErrorNone && done == 1 &&
      last != '\n') {
    file.lineOpen = true;
  }
  return bytes;
}

platform::ErrorNumber writeRecords(JuTraceLogFile& file, const char* data, size_t length) {
  if (length == 0) return platform::kErrorNone;
  if (file.lineOpen) {
    // The line feed ends the cut record's line; if it cannot be written,
    // neither could the records.
    const platform::ErrorNumber error = platform::writeWhole(file.descriptor, "\n", 1);
    if (error != platform::kErrorNone) return error;
    file.lineOpen = false;
  }
  size_t written = 0;
  const platform::ErrorNumber error = platform::writeWhole(file.descriptor, data, length, &written);
  if (error == platform::kErrorNone || written == 0) return error;
  // A full disk or the size limit cut the records short. A sole writer's
  // file ends with them, and they go; another writer may have appended its
  // own already, so there the cut stays, and the next write's line feed
  // ends its line.
  if (!(file.soleWriter && platform::takeBackLastWrite(file.descriptor, written))) file.lineOpen = true;
  return error;
}

}  // namespace vrtrace::logfile
