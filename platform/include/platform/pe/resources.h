// The resources of a Windows executable read as data: resource ids, the
// names of a type, the languages of a name, and one resource's bytes.
//
//   platform::pe::ResourceFile file;
//   if (file.open("driver.dll") != kErrorNone) puts(file.errorText());
//   platform::pe::ResourceNames names;
//   file.names(ResourceId::fromId(kResourceTypeVersion), &names);   // {1}
//   platform::pe::ResourceLanguages languages;
//   file.languages(ResourceId::fromId(16), names[0], &languages);   // {0x0409}
//   platform::pe::ResourceBytes bytes;
//   file.read(ResourceId::fromId(16), names[0], languages[0], &bytes);
//
// Lists and bytes live on the C heap: an allocation that fails is
// kErrorNoMemory, never an exception.
#ifndef PLATFORM_PE_RESOURCES_H
#define PLATFORM_PE_RESOURCES_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/files.h"
#include "platform/pe/held_file.h"

namespace platform::pe {

namespace internal {
struct LoadedImage;
struct ByteSource;
}

// ---------------------------------------------------------------------------
// Resource ids.
// ---------------------------------------------------------------------------

inline constexpr uint16_t kResourceTypeString = 6;    // string table blocks
inline constexpr uint16_t kResourceTypeVersion = 16;  // version information

// A resource type or name: a 16-bit id or a UTF-16 name. A name is a view:
// the text stays with whoever owns it (the caller, or the ResourceNames the
// id came from).
//   ResourceId::fromId(16).isName() -> false
//   ResourceId::fromName(u"CONFIG").name() -> u"CONFIG"
class ResourceId {
 public:
  constexpr ResourceId() noexcept = default;
  static constexpr ResourceId fromId(uint16_t id) noexcept { return ResourceId(false, id, {}); }
  static constexpr ResourceId fromName(std::u16string_view name) noexcept { return ResourceId(true, 0, name); }

  constexpr bool isName() const noexcept { return isName_; }
  constexpr uint16_t id() const noexcept { return id_; }                 // 0 for a name
  constexpr std::u16string_view name() const noexcept { return name_; }  // empty for an id

  // Ids equal ids, names equal names unit for unit (case counts).
  friend constexpr bool operator==(const ResourceId& a, const ResourceId& b) noexcept {
    return a.isName_ == b.isName_ && a.id_ == b.id_ && a.name_ == b.name_;
  }
  friend constexpr bool operator!=(const ResourceId& a, const ResourceId& b) noexcept { return !(a == b); }
  // The order of a resource directory: names first, by UTF-16 unit values,
  // then ids ascending.
  friend constexpr bool operator<(const ResourceId& a, const ResourceId& b) noexcept {
    if (a.isName_ != b.isName_) return a.isName_;
    return a.isName_ ? a.name_ < b.name_ : a.id_ < b.id_;
  }

 private:
  constexpr ResourceId(bool isName, uint16_t id, std::u16string_view name) noexcept
      : isName_(isName), id_(id), name_(name) {}

  bool isName_ = false;
  uint16_t id_ = 0;
  std::u16string_view name_;
};

// ---------------------------------------------------------------------------
// Results.
// ---------------------------------------------------------------------------

// The names of one type, in enumeration order. Owns the names' text: ids
// taken from it are valid while it lives and is not filled again.
class ResourceNames {
 public:
  ResourceNames() noexcept = default;
  ~ResourceNames();
  ResourceNames(const ResourceNames&) = delete;
  ResourceNames& operator=(const ResourceNames&) = delete;

  size_t size() const noexcept { return count_; }
  ResourceId operator[](size_t index) const noexcept;  // index < size()
  void clear() noexcept;

 private:
  friend class ResourceFile;
  struct Entry {
    bool isName;
    uint16_t id;
    size_t nameStart;  // in text_, UTF-16 units
    size_t nameLength;
  };
  Entry* entries_ = nullptr;
  size_t count_ = 0;
  char16_t* text_ = nullptr;
};

// The languages of one name, in enumeration order (ascending).
class ResourceLanguages {
 public:
  ResourceLanguages() noexcept = default;
  ~ResourceLanguages();
  ResourceLanguages(const ResourceLanguages&) = delete;
  ResourceLanguages& operator=(const ResourceLanguages&) = delete;

  size_t size() const noexcept { return count_; }
  uint16_t operator[](size_t index) const noexcept { return languages_[index]; }  // index < size()
  void clear() noexcept;

 private:
  friend class ResourceFile;
  uint16_t* languages_ = nullptr;
  size_t count_ = 0;
};

// One resource's bytes.
class ResourceBytes {
 public:
  ResourceBytes() noexcept = default;
  ~ResourceBytes();
  ResourceBytes(const ResourceBytes&) = delete;
  ResourceBytes& operator=(const ResourceBytes&) = delete;

  const unsigned char* data() const noexcept { return data_; }
  size_t size() const noexcept { return size_; }
  void clear() noexcept;

 private:
  friend class ResourceFile;
  unsigned char* data_ = nullptr;
  size_t size_ = 0;
};

// ---------------------------------------------------------------------------
// A file's resources.
// ---------------------------------------------------------------------------

// A PE32 or PE32+ file's resource tree, loaded as data (nothing is run or
// resolved). Only the headers and the resource section are read into
// memory. Statuses:
//   kErrorNone
//   kErrorInvalidArgument  not a well-formed PE file, or a broken resource
//                          tree; errorText() says what is wrong
//   kErrorNotFound         no such type, name or language (also: no
//                          resources at all); or a missing file on open
//   kErrorNoMemory         an allocation failed
//   others                 the file could not be opened or read
class ResourceFile {
 public:
  ResourceFile() noexcept;
  ~ResourceFile();
  ResourceFile(const ResourceFile&) = delete;
  ResourceFile& operator=(const ResourceFile&) = delete;

  // Loads `path` (UTF-8; '\' separates too), dropping what was loaded.
  //   open("a.dll") -> kErrorNone;  open("notes.txt") -> kErrorInvalidArgument,
  //   errorText() "no MZ signature"
  [[nodiscard]] ErrorNumber open(const char* path) noexcept;
  // The same over a file's bytes in memory (copied as needed).
  [[nodiscard]] ErrorNumber openBytes(const void* data, size_t size) noexcept;
  // The same over a file whose writer holds some of its bytes (see
  // held_file.h): what the spans hold is read from them, the rest from the
  // descriptor. Nothing is kept of `file` after the call. Spans that hold
  // the headers ([0, end of the section table)) and the resource section
  // leave nothing to read from the file. Also kErrorInvalidArgument for
  // spans outside the file's size or more than kMaxHeldSpans.
  [[nodiscard]] ErrorNumber openHeld(const HeldFile& file) noexcept;
  void close() noexcept;

  // The names of `type`: named entries first (by UTF-16 unit values), then
  // ids ascending. A type without names is kErrorNotFound, with the text
  // "the file has no version resource" (or "... no string table", "... no
  // resources of that type").
  [[nodiscard]] ErrorNumber names(ResourceId type, ResourceNames* out) noexcept;
  // The languages of (type, name), ascending.
  [[nodiscard]] ErrorNumber languages(ResourceId type, ResourceId name, ResourceLanguages* out) noexcept;
  // A copy of the resource's bytes (may be empty).
  [[nodiscard]] ErrorNumber read(ResourceId type, ResourceId name, uint16_t language, ResourceBytes* out) noexcept;

  // What went wrong in the last failed call, as a short English text
  // ("section table past the end of the file"); "" after success.
  const char* errorText() const noexcept { return errorText_; }

 private:
  ErrorNumber fail(ErrorNumber error, const char* text) noexcept;
  // Loads from `source`, dropping what was loaded.
  ErrorNumber load(const internal::ByteSource& source) noexcept;
  // kErrorNone when a file is loaded and `out` is given, else the failure.
  ErrorNumber checkLoaded(const void* out) noexcept;

  internal::LoadedImage* image_ = nullptr;
  const char* errorText_ = "";
};

}  // namespace platform::pe

#endif  // PLATFORM_PE_RESOURCES_H
