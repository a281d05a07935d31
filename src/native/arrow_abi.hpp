// The Arrow C data interface: the three C structures through which columnar
// libraries hand arrays to each other without copying (their layout is the
// interface's fixed ABI), and owners that release them exactly once.
#pragma once

#include <cstdint>
#include <utility>

extern "C" {

struct ArrowSchema {
  const char* format;
  const char* name;
  const char* metadata;
  std::int64_t flags;
  std::int64_t n_children;
  ArrowSchema** children;
  ArrowSchema* dictionary;
  void (*release)(ArrowSchema*);
  void* private_data;
};

struct ArrowArray {
  std::int64_t length;
  std::int64_t null_count;
  std::int64_t offset;
  std::int64_t n_buffers;
  std::int64_t n_children;
  const void** buffers;
  ArrowArray** children;
  ArrowArray* dictionary;
  void (*release)(ArrowArray*);
  void* private_data;
};

struct ArrowArrayStream {
  int (*get_schema)(ArrowArrayStream*, ArrowSchema* out);
  int (*get_next)(ArrowArrayStream*, ArrowArray* out);
  const char* (*get_last_error)(ArrowArrayStream*);
  void (*release)(ArrowArrayStream*);
  void* private_data;
};

}  // extern "C"

namespace native::arrow {

// The names the PyCapsule interface gives the capsules of each structure.
inline constexpr const char* SCHEMA_CAPSULE = "arrow_schema";
inline constexpr const char* ARRAY_CAPSULE = "arrow_array";
inline constexpr const char* STREAM_CAPSULE = "arrow_array_stream";

// ArrowSchema::flags: the field may hold nulls.
inline constexpr std::int64_t NULLABLE = 2;

// Owns one structure moved out of its producer's hands: releases it when
// dropped, unless it was released already (release set to null), as the
// interface asks of every consumer.
template <class Structure>
class Owned {
 public:
  Owned() noexcept = default;
  // Takes over `*structure`, marking the original released.
  explicit Owned(Structure* structure) noexcept : structure_(*structure) {
    structure->release = nullptr;
  }
  Owned(Owned&& other) noexcept : structure_(other.structure_) {
    other.structure_.release = nullptr;
  }
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      structure_ = other.structure_;
      other.structure_.release = nullptr;
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { reset(); }

  [[nodiscard]] Structure& get() noexcept { return structure_; }
  [[nodiscard]] const Structure& get() const noexcept { return structure_; }
  [[nodiscard]] Structure* operator->() noexcept { return &structure_; }
  [[nodiscard]] const Structure* operator->() const noexcept { return &structure_; }
  // Whether it holds a structure not yet released.
  [[nodiscard]] bool is_live() const noexcept { return structure_.release != nullptr; }

 private:
  void reset() noexcept {
    if (structure_.release != nullptr) structure_.release(&structure_);
    structure_.release = nullptr;
  }

  Structure structure_{};
};

using OwnedSchema = Owned<ArrowSchema>;
using OwnedArray = Owned<ArrowArray>;
using OwnedStream = Owned<ArrowArrayStream>;

}  // namespace native::arrow
