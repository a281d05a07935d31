// The index image: the bytes of an index file, laid out so that a walk reads
// them in place. A fixed header, a table of sections, and the sections, each
// at an offset aligned to 64 bytes. All numbers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace prefix {

inline constexpr std::array<std::uint8_t, 8> IMAGE_MAGIC = {0x89, 'Q',  'V',  'M',
                                                            '\r', '\n', 0x1A, '\n'};
inline constexpr std::uint32_t IMAGE_VERSION = 1;

// What follows the magic, as stored (host order is checked to be little-endian).
struct ImageHeader {
  std::array<std::uint8_t, 8> magic;
  std::uint32_t version;
  std::uint32_t section_count;
  std::uint64_t file_size;
  std::uint64_t checksum;    // image_checksum of every byte after the header
  std::uint64_t node_count;  // nodes of the tree the automaton stands for
  std::uint32_t state_count;
  std::uint32_t transition_count;
  std::uint32_t key_count;         // nodes with a payload, the root aside
  std::uint32_t height;            // depth of the deepest node
  std::uint32_t code_point_width;  // bytes per code point: 1, 2 or 4
  std::uint32_t flags;             // ROOT_* below
  std::uint32_t root_code_point;
  std::uint32_t root_payload;
  std::uint32_t payload_runs;  // runs of the payload map; 0: a key's payload is its number
  std::uint32_t reserved;

  static constexpr std::uint32_t ROOT_HAS_CODE_POINT = 1;
  static constexpr std::uint32_t ROOT_HAS_PAYLOAD = 2;
};
static_assert(sizeof(ImageHeader) == 80);

// One entry of the section table, which follows the header.
struct SectionEntry {
  std::uint32_t id;
  std::uint32_t reserved;
  std::uint64_t offset;  // from the start of the file, a multiple of SECTION_ALIGNMENT
  std::uint64_t size;    // in bytes
};
static_assert(sizeof(SectionEntry) == 24);

inline constexpr std::size_t SECTION_ALIGNMENT = 64;
// More sections than this are refused: a table is read whole at open.
inline constexpr std::uint32_t MAX_SECTIONS = 64;

// Section ids. Readers skip ids they do not know, so later data can be added
// beside these without a new version.
enum class Section : std::uint32_t {
  Firsts = 1,      // u32 per state + 1: where each state's transitions begin
  Sizes = 2,       // u32 per state: nodes in the tree below it, itself included
  CodePoints = 3,  // code_point_width bytes per transition
  Targets = 4,     // u32 per transition: the state it leads to
  KeysBefore = 5,  // u32 per transition: keys before the child within its parent
  Heights = 6,     // u8 per transition: height of the child's subtree, 255 for that or more
  FinalBits = 7,   // u64 words, a bit per transition: whether the child carries a payload
  RunStarts = 8,   // u64 words, a bit per key: whether it starts a run of the payload map
  RunRanks = 9,    // u32 per word of RunStarts: runs started before it
  RunDeltas = 10,  // u32 per run: payload minus key number, wrapping
  KeyCounts = 11,  // u64 per payload: a count per payload (word frequencies)
  ByteForm = 12,   // a trie in byte form, in place of the automaton sections
};

// A 64-bit checksum of `bytes`: four lanes of multiply-and-rotate over
// 8-byte words, about a byte per cycle. Catches changed bytes, not attacks.
[[nodiscard]] std::uint64_t image_checksum(std::span<const std::uint8_t> bytes) noexcept;

// The sections of an image whose header and table were checked: each span
// lies inside the image. Sections the version does not know are left out.
struct ImageParts {
  ImageHeader header{};
  std::span<const std::uint8_t> image;
  std::array<std::span<const std::uint8_t>, 13> sections{};  // by Section id
  std::array<bool, 13> present{};

  [[nodiscard]] std::span<const std::uint8_t> section(Section id) const noexcept {
    return sections[static_cast<std::size_t>(id)];
  }
  [[nodiscard]] bool has(Section id) const noexcept {
    return present[static_cast<std::size_t>(id)];
  }
};

// Checks an image with work bounded by its header and table, not by its
// size: the magic, the version, the declared size against the real one,
// every section inside the image and aligned, no id twice, and the sizes of
// the known sections against the counts in the header. Returns the parts,
// or why the bytes are refused. Nothing is read past the table: the checksum
// is not compared (see image_checksum), and what the walks read from the
// sections is bounded where they read it (SharedTree).
using ParsedImage = std::variant<ImageParts, std::string>;
[[nodiscard]] ParsedImage parse_image(std::span<const std::uint8_t> image);

// Assembles an image from a header (its counts filled) and sections in the
// order given; sets magic, version, section count, sizes, offsets and the
// checksum. The result is 8-byte aligned storage, `size` bytes of it used.
struct OwnedImage {
  std::vector<std::uint64_t> words;
  std::size_t size = 0;

  [[nodiscard]] std::span<const std::uint8_t> bytes() const noexcept {
    return {reinterpret_cast<const std::uint8_t*>(words.data()), size};
  }
};
struct SectionData {
  Section id;
  std::span<const std::uint8_t> bytes;
};
[[nodiscard]] OwnedImage assemble_image(ImageHeader header, std::span<const SectionData> sections);

// Every section of an image parse_image accepted, in table order, unknown
// ones included.
[[nodiscard]] std::vector<SectionData> sections_of(std::span<const std::uint8_t> image);

// The bytes of a span of numbers, for assemble_image.
template <class T>
[[nodiscard]] std::span<const std::uint8_t> bytes_of(std::span<const T> values) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(values.data()), values.size_bytes()};
}

}  // namespace prefix
