// Reading through and writing through the page cache, piece by piece: a
// piece runs from the current offset to the end of its page or of the
// request.

#include <cstring>
#include <optional>

#include "julib/errors.h"
#include "julib/pagecache.h"
#include "julib/threads.h"
#include "pagecache_internal.h"
#include "platform/files.h"

using julib::pagecache::fileKeyOf;
using julib::pagecache::findPage;
using julib::pagecache::offsetInPage;
using julib::pagecache::pageOf;

namespace {

size_t pieceAt(uint64_t offset, size_t remaining) {
  const size_t toPageEnd = kJuPageBytes - offsetInPage(offset);
  return remaining < toPageEnd ? remaining : toPageEnd;
}

// A request that would run past the last byte offset would wrap to the
// file's start (and UINT64_MAX means "the current position" to the file
// layer). 0, or 1 with the file error of an invalid argument posted.
int checkRange(uint64_t offset, size_t count) {
  if (count == 0 || offset <= UINT64_MAX - count) return 0;
  juPostFileError(platform::kErrorInvalidArgument, nullptr);
  return 1;
}

// Copies a piece from its cached page when the page is (or can be) loaded
// and holds the whole piece. Sets *copied; 0, or 1 when the lookup failed.
int readPieceFromPage(JuPageCache* cache, const platform::FileKey& key, JuFileHandle file, uint64_t offset,
                      unsigned char* destination, size_t piece, int noEvict, bool* copied) {
  *copied = false;
  if (cache == nullptr || offset > kJuPageCacheLastOffset) return 0;
  JuPageDescriptor* descriptor = nullptr;
  unsigned char* data = nullptr;
  if (findPage(cache, key, file, pageOf(offset), &descriptor, &data, 1, noEvict) != 0) return 1;
  const size_t start = offsetInPage(offset);
  if (data == nullptr || descriptor->length < start + piece) return 0;
  std::memcpy(destination, data + start, piece);
  *copied = true;
  return 0;
}

// Gives a cached page the piece just written to the file. A page whose
// valid bytes end before the piece starts would claim the gap between, which
// it never read: it is dropped and loads afresh when next read.
void writePieceToPage(JuPageCache* cache, const platform::FileKey& key, uint64_t offset, const unsigned char* source,
                      size_t piece) {
  JuPageDescriptor* descriptor = nullptr;
  unsigned char* data = nullptr;
  (void)findPage(cache, key, kJuNoFile, pageOf(offset), &descriptor, &data, 0, 0);  // no load: cannot fail
  if (data == nullptr) return;
  const size_t start = offsetInPage(offset);
  if (start > descriptor->length) {
    (void)juPageCacheDropPage(cache, static_cast<uint16_t>(descriptor - cache->pages));
    return;
  }
  std::memcpy(data + start, source, piece);
  if (start + piece > descriptor->length) descriptor->length = static_cast<uint16_t>(start + piece);
}

// After a failed write the file may hold any part of it: the cached pages of
// the range no longer speak for the file.
void dropRange(JuPageCache* cache, const platform::FileKey& key, uint64_t offset, size_t count) {
  for (uint64_t at = offset; count > 0 && at <= kJuPageCacheLastOffset;) {
    JuPageDescriptor* descriptor = nullptr;
    unsigned char* data = nullptr;
    (void)findPage(cache, key, kJuNoFile, pageOf(at), &descriptor, &data, 0, 0);
    if (data != nullptr) (void)juPageCacheDropPage(cache, static_cast<uint16_t>(descriptor - cache->pages));
    const size_t piece = pieceAt(at, count);
    at += piece;
    count -= piece;
  }
}

}  // namespace

int juPageCacheRead(JuPageCache* cache, JuFileHandle file, uint64_t offset, void* buffer, size_t count,
                    size_t* countRead, int noEvict) {
  size_t ignored = 0;
  size_t& total = countRead != nullptr ? *countRead : ignored;
  total = 0;
  if (checkRange(offset, count) != 0) return 1;
  // A handle that reaches no file has no pages: the file read says why.
  platform::FileKey key;
  if (cache != nullptr && !fileKeyOf(file, &key)) cache = nullptr;
  std::optional<JuLockGuard> guard;
  if (cache != nullptr) guard.emplace(*cache->lock);
  auto* out = static_cast<unsigned char*>(buffer);
  while (total < count) {
    const uint64_t at = offset + total;
    const size_t piece = pieceAt(at, count - total);
    bool copied = false;
    if (readPieceFromPage(cache, key, file, at, out + total, piece, noEvict, &copied) != 0) return 1;
    if (copied) {
      total += piece;
      continue;
    }
    size_t read = 0;
    if (juFileRead(file, at, out + total, piece, &read) != 0) return 1;
    total += read;
    if (read < piece) break;
  }
  return 0;
}

int juPageCacheWrite(JuPageCache* cache, JuFileHandle file, uint64_t offset, const void* buffer, size_t count) {
  if (checkRange(offset, count) != 0) return 1;
  // A handle that reaches no file has no pages to update: the write fails.
  platform::FileKey key;
  if (cache != nullptr && !fileKeyOf(file, &key)) cache = nullptr;
  std::optional<JuLockGuard> guard;
  if (cache != nullptr) guard.emplace(*cache->lock);
  if (juFileWrite(file, offset, buffer, count) != 0) {
    if (cache != nullptr) dropRange(cache, key, offset, count);
    return 1;
  }
  if (cache == nullptr) return 0;
  const auto* in = static_cast<const unsigned char*>(buffer);
  for (size_t done = 0; done < count;) {
    const uint64_t at = offset + done;
    if (at > kJuPageCacheLastOffset) break;
    const size_t piece = pieceAt(at, count - done);
    writePieceToPage(cache, key, at, in + done, piece);
    done += piece;
  }
  return 0;
}
