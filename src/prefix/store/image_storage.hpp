// Where the bytes of an index image live: in memory, or in a file mapped
// read-only, whose pages processes that map the same file share.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <variant>

#include "prefix/store/index_image.hpp"

namespace prefix {

// Owns the bytes an index is read from for as long as a trie or its key
// counts point into them.
class ImageStorage {
 public:
  ImageStorage() = default;
  ImageStorage(const ImageStorage&) = delete;
  ImageStorage& operator=(const ImageStorage&) = delete;
  virtual ~ImageStorage() = default;

  [[nodiscard]] virtual std::span<const std::uint8_t> bytes() const noexcept = 0;
  // The file the bytes are mapped from; empty for bytes in memory.
  [[nodiscard]] virtual const std::string& path() const noexcept = 0;
};

// Storage holding `image` in memory.
[[nodiscard]] std::shared_ptr<const ImageStorage> stored_in_memory(OwnedImage&& image);

// Maps the regular file open on `fd` (of `size` bytes, at least 1)
// read-only and shared; `path` is kept for pickling by reference. The
// mapping outlives the descriptor. Returns the storage, or the errno of a
// failed mmap.
using MappedResult = std::variant<std::shared_ptr<const ImageStorage>, int>;
[[nodiscard]] MappedResult map_file(int fd, std::size_t size, std::string path);

}  // namespace prefix
