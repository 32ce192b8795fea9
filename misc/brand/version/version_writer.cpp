// Writing a version resource.
#include "version/version_writer.h"

#include <cstring>

#include "julib/object.h"
#include "platform/checked_size.h"
#include "platform/growth.h"
#include "version/version_resource.h"

namespace versioninfo {

// ---------------------------------------------------------------------------
// VersionBuffer
// ---------------------------------------------------------------------------

VersionBuffer::~VersionBuffer() { juFree(bytes_); }

bool VersionBuffer::append(const void* bytes, size_t count) {
  size_t needed = 0;
  if (!platform::addSizes(&needed, length_, count) || needed > UINT32_MAX) {
    juReportOutOfMemory();
    return false;
  }
  if (needed > capacity_) {
    size_t capacity = kStep;
    if (capacity_ != 0 || needed > kStep) {
      if (!platform::addSizes(&capacity, needed, kStep, kStep - 1)) capacity = SIZE_MAX;
      capacity &= ~size_t{kStep - 1};
    }
    if (capacity > UINT32_MAX) {
      juReportOutOfMemory();
      return false;
    }
    switch (platform::resizeItems(&bytes_, capacity, juRealloc)) {
      case platform::Resize::kDone:
        break;
      case platform::Resize::kTooLarge:
        juReportOutOfMemory();
        return false;
      case platform::Resize::kFailed:
        return false;  // juRealloc recorded it
    }
    capacity_ = static_cast<uint32_t>(capacity);
  }
  if (count != 0) {
    if (bytes != nullptr) {
      std::memcpy(bytes_ + length_, bytes, count);
    } else {
      std::memset(bytes_ + length_, 0, count);
    }
  }
  length_ = static_cast<uint32_t>(needed);
  return true;
}

bool VersionBuffer::alignTo4() { return append(nullptr, versioninfo::alignTo4(length_) - length_); }

// ---------------------------------------------------------------------------
// NodeWriter
// ---------------------------------------------------------------------------

void NodeWriter::begin(uint16_t valueLength, uint16_t type, std::u16string_view key) {
  if (status_ != WriteStatus::kOk) return;
  if (depth_ == kMaxDepth) return fail(WriteStatus::kTooLong);
  if (!out_->alignTo4()) return fail(WriteStatus::kOutOfMemory);
  open_[depth_++] = out_->length();
  const uint8_t header[kNodeHeaderBytes] = {0,
                                            0,
                                            static_cast<uint8_t>(valueLength),
                                            static_cast<uint8_t>(valueLength >> 8),
                                            static_cast<uint8_t>(type),
                                            static_cast<uint8_t>(type >> 8)};
  if (!out_->append(header, sizeof header)) return fail(WriteStatus::kOutOfMemory);
  appendUnits(key);
  appendUnits(std::u16string_view(u"", 1));
}

void NodeWriter::value(const void* bytes, size_t count) {
  if (status_ != WriteStatus::kOk) return;
  if (!out_->alignTo4() || !out_->append(bytes, count)) fail(WriteStatus::kOutOfMemory);
}

void NodeWriter::text(std::u16string_view text) {
  if (status_ != WriteStatus::kOk) return;
  if (!out_->alignTo4()) return fail(WriteStatus::kOutOfMemory);
  appendUnits(text);
  appendUnits(std::u16string_view(u"", 1));
}

void NodeWriter::end() {
  if (status_ != WriteStatus::kOk) return;
  const size_t start = open_[--depth_];
  const size_t length = out_->length() - start;
  if (length > UINT16_MAX) return fail(WriteStatus::kTooLong);
  out_->data()[start] = static_cast<uint8_t>(length);
  out_->data()[start + 1] = static_cast<uint8_t>(length >> 8);
}

void NodeWriter::appendUnits(std::u16string_view units) {
  // Little-endian whatever the host, a chunk at a time.
  uint8_t chunk[256];
  while (status_ == WriteStatus::kOk && !units.empty()) {
    const size_t n = units.size() < sizeof chunk / 2 ? units.size() : sizeof chunk / 2;
    for (size_t i = 0; i < n; ++i) {
      chunk[2 * i] = static_cast<uint8_t>(units[i]);
      chunk[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
    if (!out_->append(chunk, 2 * n)) fail(WriteStatus::kOutOfMemory);
    units.remove_prefix(n);
  }
}

// ---------------------------------------------------------------------------
// The whole resource
// ---------------------------------------------------------------------------

bool translationOfKey(std::u16string_view key, uint16_t* language, uint16_t* codePage) {
  if (key.size() != 8) return false;
  uint32_t number = 0;
  for (const char16_t c : key) {
    uint32_t digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else if (c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else {
      return false;
    }
    number = number << 4 | digit;
  }
  *language = static_cast<uint16_t>(number >> 16);
  *codePage = static_cast<uint16_t>(number);
  return true;
}

WriteStatus buildVersionResource(const VersionContent& content, VersionBuffer* out) {
  out->clear();
  uint16_t language = 0;
  uint16_t codePage = 0;
  if (!translationOfKey(content.tableKey, &language, &codePage)) return WriteStatus::kBadTableKey;

  NodeWriter writer(out);
  writer.begin(kFixedInfoBytes, 0, u"VS_VERSION_INFO");
  writer.value(content.fixedInfo, kFixedInfoBytes);

  writer.begin(0, 1, u"StringFileInfo");
  writer.begin(0, 1, content.tableKey);
  const uint64_t count = content.keys->count < content.values->count ? content.keys->count : content.values->count;
  for (uint64_t i = 0; i < count; ++i) {
    const auto* key = static_cast<const char16_t*>(content.keys->pointerAt(i));
    const auto* text = static_cast<const char16_t*>(content.values->pointerAt(i));
    if (key == nullptr || text == nullptr) continue;
    const std::u16string_view value(text);
    // wValueLength counts the value's zero; an empty value has none.
    if (value.size() >= UINT16_MAX) return WriteStatus::kTooLong;
    writer.begin(value.empty() ? 0 : static_cast<uint16_t>(value.size() + 1), 1, key);
    if (!value.empty()) writer.text(value);
    writer.end();
  }
  writer.end();
  writer.end();

  writer.begin(0, 1, u"VarFileInfo");
  writer.begin(4, 0, u"Translation");
  const uint8_t translation[4] = {static_cast<uint8_t>(language), static_cast<uint8_t>(language >> 8),
                                  static_cast<uint8_t>(codePage), static_cast<uint8_t>(codePage >> 8)};
  writer.value(translation, sizeof translation);
  writer.end();
  writer.end();

  writer.end();
  return writer.status();
}

}  // namespace versioninfo
