// Index images in memory and mapped from files.
#include "prefix/store/image_storage.hpp"

#include <sys/mman.h>

#include <cerrno>
#include <utility>

namespace prefix {
namespace {

class InMemory final : public ImageStorage {
 public:
  explicit InMemory(OwnedImage&& image) : image_(std::move(image)) {}
  [[nodiscard]] std::span<const std::uint8_t> bytes() const noexcept override {
    return image_.bytes();
  }
  [[nodiscard]] const std::string& path() const noexcept override { return path_; }

 private:
  OwnedImage image_;
  std::string path_;
};

class Mapped final : public ImageStorage {
 public:
  Mapped(void* address, std::size_t size, std::string path)
      : address_(address), size_(size), path_(std::move(path)) {}
  ~Mapped() override { munmap(address_, size_); }
  Mapped(const Mapped&) = delete;
  Mapped& operator=(const Mapped&) = delete;

  [[nodiscard]] std::span<const std::uint8_t> bytes() const noexcept override {
    return {static_cast<const std::uint8_t*>(address_), size_};
  }
  [[nodiscard]] const std::string& path() const noexcept override { return path_; }

 private:
  void* address_;
  std::size_t size_;
  std::string path_;
};

}  // namespace

std::shared_ptr<const ImageStorage> stored_in_memory(OwnedImage&& image) {
  return std::make_shared<const InMemory>(std::move(image));
}

MappedResult map_file(int fd, std::size_t size, std::string path) {
  void* const address = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (address == MAP_FAILED) return errno;
  return std::shared_ptr<const ImageStorage>(
      std::make_shared<const Mapped>(address, size, std::move(path)));
}

}  // namespace prefix
