// Updating resources: the new file is written in one pass through an atomic
// file writer, from the patched headers, the old bytes copied in chunks, and
// the new resource section's tables and data; the checksum is summed on the
// way and patched in at the end. Only the headers, the resources and one
// chunk are in memory, whatever the file's size. A section that keeps the
// old one's file bytes is written over it instead, with the headers; in a
// file whose writer holds those bytes, into the holes they left.

#include "platform/pe/update.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "pe/image_source.h"
#include "pe/reasons.h"
#include "pe/update_plan.h"
#include "platform/locked_file.h"

namespace platform::pe {

namespace internal {

struct UpdateState {
  ~UpdateState() {
    if (ownsDescriptor && source.descriptor != kNoDescriptor) (void)closeFile(source.descriptor);  // read-only
    std::free(path);
  }
  ByteSource source;
  bool ownsDescriptor = true;  // opened by path, read-only; else a held file's
  LoadedImage image;
  char* path = nullptr;
  PeChecksum fileSum;  // the whole file as it stands, when the caller knows it
  bool fileSumKnown = false;
};

}  // namespace internal

namespace {

constexpr size_t kChunkBytes = 1 << 20;
constexpr size_t kDebugEntryBytes = 28;

// Writes pieces, appended to a new file or in sequence into memory, and
// sums the checksum over them.
class Output {
 public:
  explicit Output(AtomicFileWriter* writer) : writer_(writer) {}
  // Fills `memory`, which stands for the file from offset `at`.
  Output(unsigned char* memory, uint64_t at) : memory_(memory) { sum_.startAt(at); }

  ErrorNumber write(const unsigned char* data, size_t size) {
    sum_.add(data, size);
    if (writer_ != nullptr) return writer_->write(data, size);
    std::memcpy(memory_, data, size);
    memory_ += size;
    return kErrorNone;
  }
  ErrorNumber zeros(size_t size) {
    static const unsigned char kZeros[4096] = {};
    ErrorNumber error = kErrorNone;
    while (error == kErrorNone && size > 0) {
      const size_t n = size < sizeof kZeros ? size : sizeof kZeros;
      error = write(kZeros, n);
      size -= n;
    }
    return error;
  }
  // Copies [from, to) of the source through `chunk`.
  ErrorNumber copy(const internal::ByteSource& source, uint64_t from, uint64_t to, unsigned char* chunk) {
    ErrorNumber error = kErrorNone;
    while (error == kErrorNone && from < to) {
      const size_t n = to - from < kChunkBytes ? static_cast<size_t>(to - from) : kChunkBytes;
      error = source.readAt(from, chunk, n);
      readFailed_ = error != kErrorNone;
      if (error == kErrorNone) error = write(chunk, n);
      from += n;
    }
    return error;
  }
  // The last failure was reading the source, not writing.
  bool readFailed() const { return readFailed_; }
  uint32_t checksum(uint64_t fileBytes) const { return sum_.finish(fileBytes); }
  const PeChecksum& sum() const { return sum_; }

 private:
  AtomicFileWriter* writer_ = nullptr;
  unsigned char* memory_ = nullptr;
  PeChecksum sum_;
  bool readFailed_ = false;
};

// The checksum of [from, to) of the source, read through `chunk`.
ErrorNumber sumSpan(const internal::ByteSource& source, uint64_t from, uint64_t to, unsigned char* chunk,
                    PeChecksum* sum) {
  sum->startAt(from);
  ErrorNumber error = kErrorNone;
  while (error == kErrorNone && from < to) {
    const size_t n = to - from < kChunkBytes ? static_cast<size_t>(to - from) : kChunkBytes;
    error = source.readAt(from, chunk, n);
    if (error == kErrorNone) sum->add(chunk, n);
    from += n;
  }
  return error;
}

// The checksum of `size` bytes that lie at file offset `at`.
PeChecksum spanSum(uint64_t at, const unsigned char* bytes, size_t size) {
  PeChecksum sum;
  sum.startAt(at);
  sum.add(bytes, size);
  return sum;
}

// The section takes the old one's file bytes exactly: only it and the
// headers change.
bool fitsInPlace(const internal::UpdatePlan& plan, uint64_t fileSize) {
  return plan.newRawSize == plan.oldRawSize && plan.cutEnd <= plan.cutAt && plan.newFileSize == fileSize &&
         plan.headersEnd >= 4 && plan.checksumField <= plan.headersEnd - 4;
}

ErrorNumber writeSection(Output& out, const internal::SectionLayout& layout, uint32_t rawSize) {
  ErrorNumber error = out.write(layout.tables.data(), layout.tables.size());
  size_t at = layout.tables.size();
  for (size_t i = 0; error == kErrorNone && i < layout.placements.size(); ++i) {
    const internal::Placement& p = layout.placements.data()[i];
    error = out.zeros(p.offset - at);
    if (error == kErrorNone) error = out.write(p.data, p.size);
    at = p.offset + p.size;
  }
  return error == kErrorNone ? out.zeros(rawSize - at) : error;
}

// Debug directory entries hold file offsets of their data: data in the
// resource section would be overwritten, data behind it moved under them.
const char* checkDebugData(const internal::ByteSource& source, const ImageHeaders& h,
                           const internal::UpdatePlan& plan, ErrorNumber* error) {
  if (h.directoryCount <= kDirectoryDebug || h.directories[kDirectoryDebug].size == 0) return nullptr;
  const DataDirectory& d = h.directories[kDirectoryDebug];
  const int index = sectionOfAddress(h, d.address);
  *error = kErrorInvalidArgument;
  if (index < 0) return "debug directory outside every section";
  const Section& s = h.sections[index];
  const uint32_t entries = d.size / kDebugEntryBytes;
  const uint64_t at = uint64_t{s.rawOffset} + (d.address - s.virtualAddress);
  if (at + uint64_t{entries} * kDebugEntryBytes > uint64_t{s.rawOffset} + s.rawSize) {
    return "debug directory outside its section's data";
  }
  for (uint32_t i = 0; i < entries; ++i) {
    unsigned char entry[kDebugEntryBytes];
    *error = source.readAt(at + uint64_t{i} * kDebugEntryBytes, entry, sizeof entry);
    if (*error != kErrorNone) return "cannot read the file";
    const uint64_t dataAt = readLe32(entry + 24);
    if (dataAt >= plan.resourceAt && (dataAt < plan.tailAt || internal::newOffsetOf(plan, dataAt) != dataAt)) {
      *error = kErrorInvalidArgument;
      return "debug data after the resource section cannot move";
    }
  }
  *error = kErrorNone;
  return nullptr;
}

// Writes the bytes a writer held into the file, which is then whole.
ErrorNumber writeHeldSpans(const internal::ByteSource& source) {
  ErrorNumber error = kErrorNone;
  for (size_t i = 0; error == kErrorNone && i < source.spanCount; ++i) {
    const HeldSpan& span = source.spans[i];
    error = writeWholeAt(source.descriptor, span.offset, span.bytes, span.size);
  }
  return error;
}

// Writes the new file beside the old one and renames it over it.
const char* writeReplacement(const internal::UpdateState& s, const internal::UpdatePlan& plan,
                             const internal::SectionLayout& layout, unsigned char* chunk, ErrorNumber* error) {
  const uint64_t fileSize = s.image.headers.fileSize;
  AtomicFileWriter writer;
  Output out(&writer);
  *error = s.source.readAt(0, chunk, plan.headersEnd);
  if (*error != kErrorNone) return "cannot read the file";
  internal::applyPatches(plan, chunk, plan.headersEnd);
  *error = writer.begin(s.path);
  if (*error == kErrorNone) *error = out.write(chunk, plan.headersEnd);
  if (*error == kErrorNone) *error = out.copy(s.source, plan.headersEnd, plan.resourceAt, chunk);
  if (*error == kErrorNone) *error = writeSection(out, layout, plan.newRawSize);
  const bool cut = plan.cutEnd > plan.cutAt;
  if (*error == kErrorNone) *error = out.copy(s.source, plan.tailAt, cut ? plan.cutAt : fileSize, chunk);
  if (*error == kErrorNone && cut) *error = out.copy(s.source, plan.cutEnd, fileSize, chunk);
  unsigned char sum[4];
  writeLe32(sum, out.checksum(plan.newFileSize));
  if (*error == kErrorNone && writer.written() != plan.newFileSize) *error = kErrorIo;
  if (*error == kErrorNone) *error = writer.patch(plan.checksumField, sum, 4);
  if (*error == kErrorNone) *error = writer.commit();
  writer.discard();
  if (*error == kErrorNone) return nullptr;
  return out.readFailed() ? "cannot read the file" : internal::writeFailureReason(*error, "cannot write the new file");
}

// The old headers and section, kept to sum them out of the file's checksum
// and to write them back should a write in place fail; and the new ones,
// each written with one call.
struct InPlaceBytes {
  explicit InPlaceBytes(const internal::UpdatePlan& plan)
      : block(static_cast<unsigned char*>(std::malloc(2 * (size_t{plan.headersEnd} + plan.oldRawSize) + 1))),
        oldHeaders(block),
        newHeaders(block + plan.headersEnd),
        oldSection(block + 2 * size_t{plan.headersEnd}),
        newSection(oldSection + plan.oldRawSize) {}
  ~InPlaceBytes() { std::free(block); }
  InPlaceBytes(const InPlaceBytes&) = delete;
  InPlaceBytes& operator=(const InPlaceBytes&) = delete;
  unsigned char* block;
  unsigned char* oldHeaders;
  unsigned char* newHeaders;
  unsigned char* oldSection;
  unsigned char* newSection;
};

// The new file's checksum without the new section: from the caller's sum
// of the whole file less the old headers and section, or else summed from
// the bytes that stay.
ErrorNumber sumWithoutSection(const internal::UpdateState& s, const internal::UpdatePlan& plan,
                              const InPlaceBytes& bytes, unsigned char* chunk, PeChecksum* total) {
  ErrorNumber error = kErrorNone;
  if (s.fileSumKnown) {
    *total = s.fileSum;
    total->removeSpan(spanSum(0, bytes.oldHeaders, plan.headersEnd));
    total->removeSpan(spanSum(plan.resourceAt, bytes.oldSection, plan.oldRawSize));
  } else {
    PeChecksum between;
    PeChecksum tail;
    error = sumSpan(s.source, plan.headersEnd, plan.resourceAt, chunk, &between);
    if (error == kErrorNone) error = sumSpan(s.source, plan.tailAt, s.image.headers.fileSize, chunk, &tail);
    total->addSpan(between);
    total->addSpan(tail);
  }
  total->addSpan(spanSum(0, bytes.newHeaders, plan.headersEnd));  // the checksum field patched to zeros
  return error;
}

// Writes the new section and headers over the old ones in the file.
const char* writeInPlace(const internal::UpdateState& s, const internal::UpdatePlan& plan,
                         const internal::SectionLayout& layout, unsigned char* chunk, ErrorNumber* error,
                         bool* damaged) {
  InPlaceBytes bytes(plan);
  if (bytes.block == nullptr) {
    *error = kErrorNoMemory;
    return "out of memory";
  }
  *error = s.source.readAt(0, bytes.oldHeaders, plan.headersEnd);
  if (*error == kErrorNone) *error = s.source.readAt(plan.resourceAt, bytes.oldSection, plan.oldRawSize);
  PeChecksum total;
  if (*error == kErrorNone) {
    std::memcpy(bytes.newHeaders, bytes.oldHeaders, plan.headersEnd);
    internal::applyPatches(plan, bytes.newHeaders, plan.headersEnd);
    *error = sumWithoutSection(s, plan, bytes, chunk, &total);
  }
  if (*error != kErrorNone) return "cannot read the file";
  // A held file is written through its writer's descriptor.
  FileDescriptor file = s.source.descriptor;
  if (s.ownsDescriptor) *error = openFile(s.path, kOpenReadWrite, &file);
  if (*error != kErrorNone) return internal::writeFailureReason(*error, "cannot open the file for writing");
  // The section first: until the headers follow, the file's headers still
  // describe sizes the old section had, which the new one keeps.
  Output out(bytes.newSection, plan.resourceAt);
  (void)writeSection(out, layout, plan.newRawSize);  // into memory: it cannot fail
  total.addSpan(out.sum());
  writeLe32(bytes.newHeaders + plan.checksumField, total.finish(s.image.headers.fileSize));
  *error = writeWholeAt(file, plan.resourceAt, bytes.newSection, plan.newRawSize);
  if (*error == kErrorNone) *error = writeWholeAt(file, 0, bytes.newHeaders, plan.headersEnd);
  if (*error != kErrorNone) {
    ErrorNumber undo = writeWholeAt(file, plan.resourceAt, bytes.oldSection, plan.oldRawSize);
    if (undo == kErrorNone) undo = writeWholeAt(file, 0, bytes.oldHeaders, plan.headersEnd);
    *damaged = undo != kErrorNone;
  }
  const ErrorNumber closed = s.ownsDescriptor ? closeFile(file) : kErrorNone;
  if (*error == kErrorNone && closed != kErrorNone) {
    *error = closed;
    *damaged = true;  // what reached the disk is not known
  }
  return *error == kErrorNone ? nullptr : internal::writeFailureReason(*error, "cannot write the file");
}

}  // namespace

ErrorNumber ResourceUpdate::fail(ErrorNumber error, const char* text) noexcept {
  errorText_ = text;
  return error;
}

void ResourceUpdate::discard() noexcept {
  delete state_;
  state_ = nullptr;
}

ErrorNumber ResourceUpdate::begin(const char* path) noexcept { return start(path, nullptr); }

ErrorNumber ResourceUpdate::beginHeld(const HeldFile& file) noexcept { return start(file.path, &file); }

ErrorNumber ResourceUpdate::start(const char* path, const HeldFile* held) noexcept {
  discard();
  if (path == nullptr) return fail(kErrorInvalidArgument, "no file name");
  auto* state = new (std::nothrow) internal::UpdateState;
  if (state == nullptr) return fail(kErrorNoMemory, "out of memory");
  state_ = state;
  const size_t length = std::strlen(path);
  state->path = static_cast<char*>(std::malloc(length + 1));
  if (state->path == nullptr) {
    discard();
    return fail(kErrorNoMemory, "out of memory");
  }
  std::memcpy(state->path, path, length + 1);
  state->ownsDescriptor = held == nullptr;
  ErrorNumber error = kErrorNone;
  const char* text = held != nullptr ? internal::heldSource(*held, &state->source, &error)
                                     : internal::openSource(path, &state->source, &error);
  if (text == nullptr) text = internal::loadImage(state->source, &state->image, &error);
  if (text == nullptr && state->image.resourceSection < 0) {
    error = kErrorInvalidArgument;
    text = "the file has no resource section";
  }
  if (text != nullptr) {
    discard();
    return fail(error, text);
  }
  return fail(kErrorNone, "");
}

ErrorNumber ResourceUpdate::replace(ResourceId type, ResourceId name, uint16_t language, const void* data,
                                    size_t size) noexcept {
  if (state_ == nullptr) return fail(kErrorInvalidArgument, "no update begun");
  if (data == nullptr && size > 0) return fail(kErrorInvalidArgument, "no data");
  const ErrorNumber error = internal::setLeaf(&state_->image.tree, type, name, language, data, size);
  return fail(error, error == kErrorNone ? "" : "out of memory");
}

void ResourceUpdate::setFileSum(const PeChecksum& sum) noexcept {
  if (state_ == nullptr) return;
  state_->fileSum = sum;
  state_->fileSumKnown = true;
}

ErrorNumber ResourceUpdate::commit(UpdateWarning* warning) noexcept {
  if (warning != nullptr) *warning = UpdateWarning::kNone;
  damaged_ = false;
  if (state_ == nullptr) return fail(kErrorInvalidArgument, "no update begun");
  const internal::UpdateState& s = *state_;
  const ImageHeaders& h = s.image.headers;
  const uint32_t sectionRva = h.sections[s.image.resourceSection].virtualAddress;
  internal::SectionLayout layout;
  internal::UpdatePlan* plan = new (std::nothrow) internal::UpdatePlan;
  unsigned char* chunk = static_cast<unsigned char*>(std::malloc(kChunkBytes));
  ErrorNumber error = plan == nullptr || chunk == nullptr ? kErrorNoMemory : kErrorNone;
  const char* text = error != kErrorNone ? "out of memory" : nullptr;
  if (text == nullptr) text = internal::layOutResourceSection(s.image.tree, sectionRva, &layout, &error);
  if (text == nullptr) {
    text = internal::planUpdate(h, s.image.resourceSection, layout.size, plan);
    if (text != nullptr) error = kErrorInvalidArgument;
  }
  if (text == nullptr) text = checkDebugData(s.source, h, *plan, &error);

  if (text == nullptr && fitsInPlace(*plan, h.fileSize)) {
    text = writeInPlace(s, *plan, layout, chunk, &error, &damaged_);
  } else if (text == nullptr) {
    // A held file is made whole first: it is what stays should the
    // replacement fail.
    error = writeHeldSpans(s.source);
    text = error == kErrorNone ? writeReplacement(s, *plan, layout, chunk, &error)
                               : internal::writeFailureReason(error, "cannot write the file");
  }
  const bool certificateRemoved = text == nullptr && plan->certificateRemoved;
  delete plan;
  std::free(chunk);
  discard();
  if (text != nullptr) return fail(error, text);
  if (warning != nullptr && certificateRemoved) *warning = UpdateWarning::kCertificateRemoved;
  return fail(kErrorNone, "");
}

}  // namespace platform::pe
