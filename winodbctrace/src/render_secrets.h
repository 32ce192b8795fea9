// Passwords never reach the log: a filter between the text read from the
// application and its quoting that replaces a password argument whole, or
// the value of each password key of a connect string, by a fixed mask.
//   "DSN=a;PWD={x;y}};z};UID=u" -> "DSN=a;PWD=********;UID=u"
// User names (UID, USER, LOGONID) stay visible, as SQLConnect's user name
// argument does: they name who connected and are what a trace is read for.
#ifndef VRTRACE_RENDER_SECRETS_H
#define VRTRACE_RENDER_SECRETS_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/ansi.h"
#include "render.h"

// What every hidden value shows, whatever its length.
inline constexpr char kTraceMask[] = "********";
inline constexpr size_t kTraceMaskLength = sizeof kTraceMask - 1;

// Whether a connect-string key names a password: "PWD", "PASSWORD",
// "CWPWD", "CREDENTIALSWALLETPASSWORD", ignoring case and the blanks around
// it. Units above 0x7F never match.
template <typename Unit>
bool TraceIsPasswordKey(const Unit* key, size_t n) {
  static const char* const kKeys[] = {"PWD", "PASSWORD", "CWPWD", "CREDENTIALSWALLETPASSWORD"};
  auto blank = [](Unit u) { return u == Unit(' ') || u == Unit('\t'); };
  while (n > 0 && blank(key[0])) ++key, --n;
  while (n > 0 && blank(key[n - 1])) --n;
  for (const char* name : kKeys) {
    size_t i = 0;
    for (; i < n && name[i] != '\0'; ++i) {
      const auto u = static_cast<uint32_t>(static_cast<std::make_unsigned_t<Unit>>(key[i]));
      const uint32_t upper = u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u;
      if (upper != static_cast<uint32_t>(name[i])) break;
    }
    if (i == n && name[i] == '\0') return true;
  }
  return false;
}

// Units of `Source` (which has next(Unit&), peek(Unit&) and failed()) with
// the secrets of `secret` replaced by the mask. A narrow text's double-byte
// characters are kept whole: a trail byte is never read as "{", "}", ";"
// or "=". A connect string ends at its NUL: what a length claims beyond it
// is not shown, since it may be an older string's password.
template <typename Source, typename Unit>
class TraceMaskedText {
 public:
  TraceMaskedText(Source& source, TraceSecret secret) : source_(source), secret_(secret) {
    if constexpr (sizeof(Unit) == 1) leadBytes_ = platform::leadByteTable();
  }
  TraceMaskedText(const TraceMaskedText&) = delete;
  TraceMaskedText& operator=(const TraceMaskedText&) = delete;

  bool next(Unit& out) {
    while (pendingAt_ == pendingLength_) {
      pendingAt_ = pendingLength_ = 0;
      if (!fill()) return false;
    }
    out = pending_[pendingAt_++];
    return true;
  }
  bool failed() const { return source_.failed(); }

 private:
  enum class State { kKey, kValueStart, kValue, kBraced, kAfterBrace };
  // Keys longer than this are no password key, and are passed on as read.
  static constexpr size_t kMaxKey = 32;

  bool isLead(Unit u) const {
    if constexpr (sizeof(Unit) == 1) {
      return leadBytes_ != nullptr && leadBytes_[static_cast<uint8_t>(u)];
    } else {
      return false;
    }
  }

  void push(Unit u) {
    if (pendingLength_ < sizeof pending_ / sizeof pending_[0]) pending_[pendingLength_++] = u;
  }
  void pushMask() {
    for (size_t i = 0; i < kTraceMaskLength; ++i) push(Unit(kTraceMask[i]));
  }
  void flushKey() {
    for (size_t i = 0; i < keyLength_; ++i) push(key_[i]);
    keyLength_ = 0;
  }
  // A unit of a value: shown, or swallowed in a password's value.
  void valueUnit(Unit u) {
    if (!hidden_) push(u);
  }

  // Reads on until at least one unit is pending or the text ends.
  bool fill() {
    Unit u;
    if (ended_ || !source_.next(u)) {
      flushKey();
      return pendingLength_ > 0;
    }
    if (secret_ == TraceSecret::kNone) {
      push(u);
      return true;
    }
    if (secret_ == TraceSecret::kWhole) {
      if (!maskShown_) pushMask();
      maskShown_ = true;
      return true;
    }

    // A trail byte belongs to the character its lead byte started.
    if (trailNext_) {
      trailNext_ = false;
      take(u, /*plain=*/true);
      return true;
    }
    trailNext_ = isLead(u);
    take(u, trailNext_);
    return true;
  }

  // One unit of a connect string; `plain` units are never syntax.
  void take(Unit u, bool plain) {
    if (!plain && u == Unit(0)) {
      flushKey();
      push(u);
      ended_ = true;
      return;
    }
    switch (state_) {
      case State::kKey:
        if (!plain && (u == Unit('=') || u == Unit(';'))) {
          const bool password = u == Unit('=') && !keyTooLong_ && TraceIsPasswordKey(key_, keyLength_);
          flushKey();
          push(u);
          if (u == Unit('=')) {
            state_ = State::kValueStart;
            hidden_ = password;
            if (hidden_) pushMask();
          } else {
            reset();
          }
          return;
        }
        if (keyLength_ == kMaxKey) {
          flushKey();
          keyTooLong_ = true;
        }
        if (keyTooLong_) {
          push(u);
        } else {
          key_[keyLength_++] = u;
        }
        return;
      case State::kValueStart:
        if (!plain && (u == Unit(' ') || u == Unit('\t'))) {
          valueUnit(u);
          return;
        }
        if (!plain && u == Unit('{')) {
          valueUnit(u);
          state_ = State::kBraced;
          return;
        }
        state_ = State::kValue;
        [[fallthrough]];
      case State::kValue:
      case State::kAfterBrace:
        if (!plain && u == Unit(';')) {
          push(u);
          reset();
          return;
        }
        valueUnit(u);
        return;
      case State::kBraced:
        valueUnit(u);
        if (!plain && u == Unit('}')) {
          // "}}" is a "}" inside the braces.
          Unit following;
          if (source_.peek(following) && following == Unit('}')) {
            source_.next(following);
            valueUnit(following);
          } else {
            state_ = State::kAfterBrace;
          }
        }
        return;
    }
  }

  void reset() {
    state_ = State::kKey;
    hidden_ = false;
    keyTooLong_ = false;
    keyLength_ = 0;
  }

  Source& source_;
  TraceSecret secret_;
  const bool* leadBytes_ = nullptr;
  State state_ = State::kKey;
  bool hidden_ = false;
  bool keyTooLong_ = false;
  bool trailNext_ = false;
  bool maskShown_ = false;
  bool ended_ = false;
  Unit key_[kMaxKey];
  size_t keyLength_ = 0;
  // Room for a key, its "=" and the mask, or the two units of a "}}".
  Unit pending_[kMaxKey + 1 + kTraceMaskLength + 2];
  size_t pendingLength_ = 0;
  size_t pendingAt_ = 0;
};

#endif  // VRTRACE_RENDER_SECRETS_H
