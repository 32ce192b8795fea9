// One open file of a log set: opened for appending, so that every write lands
// whole at the end whatever other processes write to the same file, and
// written whole records at a time, each reaching the file whole or not at
// all. Internal to the file sink, which holds the lock.
#ifndef VRTRACE_LOG_FILE_H
#define VRTRACE_LOG_FILE_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

struct JuTraceLogFile {
  platform::FileDescriptor descriptor;
  // Set when this writer is the file's only one (a per-process set): a
  // write cut short is taken back, and the file's end can be looked at
  // without another writer's record growing there meanwhile.
  bool soleWriter;
  // Opened for reading too, so that its end can be looked at (a sole
  // writer's file appended to, where its permissions allow).
  bool readable;
  // The file may end inside a line, with a record that a failed write (or,
  // in a sole writer's file, a killed writer) cut short: the next write
  // starts with a line feed.
  bool lineOpen;
};

namespace vrtrace::logfile {

// Opens `name` (with '/' separators) for appending, created when missing
// and emptied when `empty`; readable when a sole writer appends to it. Null
// with the system's reason in *error (out of memory is recorded, *error 0).
JuTraceLogFile* open(const char* name, bool empty, bool soleWriter, platform::ErrorNumber* error);

// Closes the file and frees it.
platform::ErrorNumber close(JuTraceLogFile* file);

// The file's size as it is now, other writers' records included (0 when it
// cannot be asked).
uint64_t size(const JuTraceLogFile& file);

// The file's size, as size(); and when it is readable and its last byte is
// not a line feed, sets lineOpen. Only for a sole writer's file: another
// writer's record may be on its way into a shared file, its end not yet
// there.
uint64_t lookAtEnd(JuTraceLogFile& file);

// Writes whole records (one or more) at the file's end, all of them or, as
// far as the system allows, none of them: a sole writer takes back what a
// failed write left of them; otherwise that much stays, and the next write
// starts on a line of its own.
//   writeRecords(file, "\nENTER ...\n", 11) -> kErrorNone
//   the size limit reached after 5 bytes -> kErrorFileTooLarge, the file as
//   it was before (a sole writer's)
platform::ErrorNumber writeRecords(JuTraceLogFile& file, const char* data, size_t length);

}  // namespace vrtrace::logfile

#endif  // VRTRACE_LOG_FILE_H
