// LZW packing of the built-in data. The packer and the unpacker must agree on
// one dictionary rule: after every code but the first, while the next free
// code is below the end code, the unpacker defines it as the previous code's
// string plus the first byte of the current one. The greedy packer defines
// exactly those entries, one per code it emits except the last.

#include "gfx/lzw.h"

#include <algorithm>
#include <array>

namespace qz {

namespace {

constexpr std::uint16_t kFirstFreeCode = 256;
constexpr std::size_t kMaxCodes = kLzwEnd + 1;
constexpr std::size_t kMaxChain = 4095;  // longest string a code may stand for
constexpr std::uint16_t kNoCode = 0;  // never a child: children are >= 256

// Appends 12-bit codes, two per three bytes.
class CodeWriter {
 public:
  void put(std::uint16_t code) {
    if (!pending_) {
      held_ = code;
      pending_ = true;
      return;
    }
    bytes_.push_back(static_cast<std::uint8_t>(held_ & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>((held_ >> 8) | ((code & 0x0F) << 4)));
    bytes_.push_back(static_cast<std::uint8_t>(code >> 4));
    pending_ = false;
  }

  // An odd count is padded with a second end code, so every group is whole.
  std::vector<std::uint8_t> finish() {
    if (pending_) put(kLzwEnd);
    return std::move(bytes_);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint16_t held_ = 0;
  bool pending_ = false;
};

// Reads 12-bit codes; a trailing partial group yields the codes whose bits
// are all present.
class CodeReader {
 public:
  explicit CodeReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::optional<std::uint16_t> next() {
    const std::size_t group = (index_ / 2) * 3;
    const bool second = (index_ % 2) != 0;
    const std::size_t needed = group + (second ? 3 : 2);
    if (needed > bytes_.size()) return std::nullopt;
    ++index_;
    if (!second) return static_cast<std::uint16_t>(bytes_[group] | ((bytes_[group + 1] & 0x0F) << 8));
    return static_cast<std::uint16_t>((bytes_[group + 1] >> 4) | (bytes_[group + 2] << 4));
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t index_ = 0;
};

}  // namespace

std::vector<std::uint8_t> lzw_pack(std::span<const std::uint8_t> data) {
  CodeWriter out;
  if (data.empty()) {
    out.put(kLzwEnd);
    return out.finish();
  }
  // children[code * 256 + byte] is the code of string(code) + byte, or 0.
  std::vector<std::uint16_t> children(kMaxCodes * 256, kNoCode);
  std::uint16_t next_free = kFirstFreeCode;
  std::uint16_t current = data[0];
  for (std::size_t i = 1; i < data.size(); ++i) {
    const std::uint8_t byte = data[i];
    const std::uint16_t child = children[current * 256u + byte];
    if (child != kNoCode) {
      current = child;
      continue;
    }
    out.put(current);
    if (next_free < kLzwEnd) children[current * 256u + byte] = next_free++;
    current = byte;
  }
  out.put(current);
  out.put(kLzwEnd);
  return out.finish();
}

std::optional<std::vector<std::uint8_t>> lzw_unpack(std::span<const std::uint8_t> packed,
                                                    std::size_t capacity) {
  // Each entry is its prefix code plus one byte, and its first byte is kept,
  // so a string is written back to front by a bounded loop, not recursion.
  std::array<std::uint16_t, kMaxCodes> prefix{};
  std::array<std::uint8_t, kMaxCodes> last{};
  std::array<std::uint8_t, kMaxCodes> first{};
  for (std::uint16_t c = 0; c < kFirstFreeCode; ++c) last[c] = first[c] = static_cast<std::uint8_t>(c);

  std::vector<std::uint8_t> out;
  out.reserve(std::min<std::size_t>(capacity, packed.size() * 8));
  std::array<std::uint8_t, kMaxChain + 1> scratch;

  // Writes string(code), optionally followed by `extra`, as far as capacity allows.
  // False when the chain is longer than kMaxChain bytes.
  auto emit = [&](std::uint16_t code, std::optional<std::uint8_t> extra) {
    const std::size_t end = scratch.size();
    std::size_t pos = end;
    if (extra) scratch[--pos] = *extra;
    const std::size_t chain_end = pos;
    for (std::uint16_t c = code;; c = prefix[c]) {
      if (chain_end - pos == kMaxChain) return false;
      scratch[--pos] = last[c];
      if (c < kFirstFreeCode) break;
    }
    const std::size_t take = std::min(end - pos, capacity - out.size());
    out.insert(out.end(), scratch.begin() + pos, scratch.begin() + pos + take);
    return true;
  };

  CodeReader reader(packed);
  std::optional<std::uint16_t> code = reader.next();
  if (!code || *code == kLzwEnd || capacity == 0) return out;
  if (*code >= kFirstFreeCode) return std::nullopt;
  out.push_back(static_cast<std::uint8_t>(*code));

  std::uint16_t previous = *code;
  std::uint16_t next_free = kFirstFreeCode;
  while (out.size() < capacity && (code = reader.next()) && *code != kLzwEnd) {
    const std::uint16_t c = *code;
    if (c > next_free) return std::nullopt;
    // c == next_free is the string being defined right now: previous + its own first byte.
    const std::uint8_t head = c < next_free ? first[c] : first[previous];
    if (!(c < next_free ? emit(c, std::nullopt) : emit(previous, head))) return std::nullopt;
    if (next_free < kLzwEnd) {
      prefix[next_free] = previous;
      last[next_free] = head;
      first[next_free] = first[previous];
      ++next_free;
    }
    previous = c;
  }
  return out;
}

}  // namespace qz
