// Checking and assembling index images: header, section table, checksum.
#include "prefix/store/index_image.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace prefix {
namespace {

static_assert(std::endian::native == std::endian::little,
              "index images are read in place: little-endian hosts only");

std::uint64_t load_word(const std::uint8_t* at) noexcept {
  std::uint64_t word = 0;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// The size in bytes a known section must have, given the header; nullopt for
// the payload map's and counts' sections, checked apart.
std::optional<std::uint64_t> expected_size(Section id, const ImageHeader& h) {
  const std::uint64_t states = h.state_count;
  const std::uint64_t transitions = h.transition_count;
  switch (id) {
    case Section::Firsts:
      return 4 * (states + 1);
    case Section::Sizes:
      return 4 * states;
    case Section::CodePoints:
      return std::uint64_t{h.code_point_width} * transitions;
    case Section::Targets:
    case Section::KeysBefore:
      return 4 * transitions;
    case Section::Heights:
      return transitions;
    case Section::FinalBits:
      return 8 * ((transitions + 63) / 64);
    case Section::RunStarts:
      return 8 * ((std::uint64_t{h.key_count} + 63) / 64);
    case Section::RunRanks:
      return 4 * ((std::uint64_t{h.key_count} + 63) / 64);
    case Section::RunDeltas:
      return 4 * std::uint64_t{h.payload_runs};
    default:
      return std::nullopt;
  }
}

constexpr Section AUTOMATON[] = {Section::Firsts,   Section::Sizes,      Section::CodePoints,
                                 Section::Targets,  Section::KeysBefore, Section::Heights,
                                 Section::FinalBits};
constexpr Section PAYLOAD_MAP[] = {Section::RunStarts, Section::RunRanks, Section::RunDeltas};

}  // namespace

std::uint64_t image_checksum(std::span<const std::uint8_t> bytes) noexcept {
  constexpr std::uint64_t PRIME = 0x9E37'79B9'7F4A'7C15;
  std::array<std::uint64_t, 4> lanes = {1, 2, 3, 4};
  const std::size_t words = bytes.size() / 8;
  std::size_t i = 0;
  for (; i + 4 <= words; i += 4) {
    for (std::size_t lane = 0; lane < 4; ++lane) {
      lanes[lane] = std::rotl((lanes[lane] ^ load_word(bytes.data() + 8 * (i + lane))) * PRIME, 29);
    }
  }
  for (; i < words; ++i)
    lanes[0] = std::rotl((lanes[0] ^ load_word(bytes.data() + 8 * i)) * PRIME, 29);
  std::uint64_t tail = 0;
  std::memcpy(&tail, bytes.data() + 8 * words, bytes.size() % 8);
  std::uint64_t sum = (bytes.size() ^ tail) * PRIME;
  for (const std::uint64_t lane : lanes) sum = std::rotl((sum ^ lane) * PRIME, 31);
  return sum;
}

ParsedImage parse_image(std::span<const std::uint8_t> image) {
  ImageHeader h{};
  if (image.size() < sizeof h) return std::string("shorter than the index header");
  std::memcpy(&h, image.data(), sizeof h);
  if (h.magic != IMAGE_MAGIC) return std::string("not an index file");
  if (h.version != IMAGE_VERSION) {
    return std::string("index format version " + std::to_string(h.version) + " is not known (" +
                       std::to_string(IMAGE_VERSION) + " is)");
  }
  if (h.file_size != image.size()) {
    return std::string("header declares " + std::to_string(h.file_size) + " bytes, the file has " +
                       std::to_string(image.size()));
  }
  if (h.section_count > MAX_SECTIONS) {
    return std::string(std::to_string(h.section_count) + " sections, more than " +
                       std::to_string(MAX_SECTIONS));
  }
  const std::size_t table_end = sizeof h + std::size_t{h.section_count} * sizeof(SectionEntry);
  if (table_end > image.size()) return std::string("the section table runs past the end");
  ImageParts parts;
  parts.header = h;
  parts.image = image;
  for (std::uint32_t i = 0; i < h.section_count; ++i) {
    SectionEntry entry{};
    std::memcpy(&entry, image.data() + sizeof h + i * sizeof entry, sizeof entry);
    if (entry.offset % SECTION_ALIGNMENT != 0 || entry.offset < table_end ||
        entry.offset > image.size() || entry.size > image.size() - entry.offset) {
      return std::string("section " + std::to_string(entry.id) + " lies outside the file");
    }
    if (entry.id == 0 || entry.id >= parts.sections.size()) continue;  // unknown: skipped
    if (parts.present[entry.id])
      return std::string("section " + std::to_string(entry.id) + " twice");
    parts.present[entry.id] = true;
    parts.sections[entry.id] = image.subspan(entry.offset, entry.size);
    const auto expected = expected_size(static_cast<Section>(entry.id), h);
    if (expected && *expected != entry.size) {
      return std::string("section " + std::to_string(entry.id) + " holds " +
                         std::to_string(entry.size) + " bytes, not " + std::to_string(*expected));
    }
  }
  if (parts.has(Section::KeyCounts) && parts.section(Section::KeyCounts).size() % 8 != 0) {
    return std::string("the key counts are not whole 64-bit numbers");
  }
  if (parts.has(Section::ByteForm)) {
    if (h.state_count != 0) return std::string("both a byte form and an automaton");
    return parts;
  }
  for (const Section id : AUTOMATON) {
    if (!parts.has(id)) {
      return std::string("section " + std::to_string(static_cast<std::uint32_t>(id)) +
                         " is missing");
    }
  }
  for (const Section id : PAYLOAD_MAP) {
    if (parts.has(id) != (h.payload_runs != 0)) return std::string("the payload map is incomplete");
  }
  const std::uint32_t width = h.code_point_width;
  if (width != 1 && width != 2 && width != 4) {
    return std::string("code points of " + std::to_string(width) + " bytes");
  }
  // The root is the last state; node and key counts bound what queries
  // number, the height what a walk allocates (a path never takes a
  // transition twice, so no path is longer than their count).
  if (h.state_count == 0) return std::string("no states");
  if (h.node_count == 0 || h.node_count > (std::uint64_t{1} << 32)) {
    return std::string(std::to_string(h.node_count) + " nodes");
  }
  if (h.key_count >= h.node_count) return std::string("more keys than nodes");
  if (h.height > h.transition_count) return std::string("taller than its transitions allow");
  if (h.payload_runs > h.key_count) return std::string("more payload runs than keys");
  return parts;
}

std::vector<SectionData> sections_of(std::span<const std::uint8_t> image) {
  ImageHeader h{};
  std::memcpy(&h, image.data(), sizeof h);
  std::vector<SectionData> sections;
  for (std::uint32_t i = 0; i < h.section_count; ++i) {
    SectionEntry entry{};
    std::memcpy(&entry, image.data() + sizeof h + i * sizeof entry, sizeof entry);
    sections.push_back({static_cast<Section>(entry.id), image.subspan(entry.offset, entry.size)});
  }
  return sections;
}

OwnedImage assemble_image(ImageHeader header, std::span<const SectionData> sections) {
  const auto aligned = [](std::size_t at) {
    return (at + SECTION_ALIGNMENT - 1) / SECTION_ALIGNMENT * SECTION_ALIGNMENT;
  };
  std::vector<SectionEntry> table;
  std::size_t at = aligned(sizeof header + sections.size() * sizeof(SectionEntry));
  for (const SectionData& section : sections) {
    table.push_back(
        SectionEntry{static_cast<std::uint32_t>(section.id), 0, at, section.bytes.size()});
    at = aligned(at + section.bytes.size());
  }
  OwnedImage out;
  out.size = at;
  out.words.assign((at + 7) / 8, 0);
  auto* const bytes = reinterpret_cast<std::uint8_t*>(out.words.data());
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (!sections[i].bytes.empty()) {
      std::memcpy(bytes + table[i].offset, sections[i].bytes.data(), sections[i].bytes.size());
    }
  }
  std::memcpy(bytes + sizeof header, table.data(), table.size() * sizeof(SectionEntry));
  header.magic = IMAGE_MAGIC;
  header.version = IMAGE_VERSION;
  header.section_count = static_cast<std::uint32_t>(sections.size());
  header.file_size = at;
  header.checksum = image_checksum({bytes + sizeof header, at - sizeof header});
  std::memcpy(bytes, &header, sizeof header);
  return out;
}

}  // namespace prefix
