// SharedBorrow: checked, counted read access to the instance behind `self` for one call.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstddef>
#include <limits>
#include <string_view>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "prefix/failure.hpp"

namespace binding {

// The counter value that marks an exclusive borrow; 0 means not borrowed.
inline constexpr std::size_t EXCLUSIVE_BORROW = std::numeric_limits<std::size_t>::max();

// Shared access to an `Instance` (a struct that starts with its PyObject
// header and has a `std::atomic<std::size_t> borrow_count`) for the length of
// one call. Taking it checks that `self` is of `type` or a subtype (else the
// TypeError "'<type>' object cannot be converted to '<type_name>'"), counts
// the borrow and holds a reference to `self`; destruction undoes both. As no
// operation borrows exclusively, taking a shared borrow always succeeds on a
// correctly typed object, from any number of threads.
template <class Instance>
class SharedBorrow {
 public:
  SharedBorrow(PyObject* self, PyTypeObject* type, std::string_view type_name) {
    if (Py_TYPE(self) != type && PyType_IsSubtype(Py_TYPE(self), type) == 0) {
      throw type_mismatch(self, type_name);
    }
    instance_ = reinterpret_cast<Instance*>(self);
    std::size_t count = instance_->borrow_count.load(std::memory_order_relaxed);
    do {
      if (count == EXCLUSIVE_BORROW) {
        throw prefix::InternalFailure("instance is borrowed exclusively");
      }
    } while (!instance_->borrow_count.compare_exchange_weak(
        count, count + 1, std::memory_order_acquire, std::memory_order_relaxed));
    self_ = Ref::borrow(self);
  }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  ~SharedBorrow() { instance_->borrow_count.fetch_sub(1, std::memory_order_release); }

  [[nodiscard]] const Instance& operator*() const noexcept { return *instance_; }
  [[nodiscard]] const Instance* operator->() const noexcept { return instance_; }

 private:
  Instance* instance_ = nullptr;
  Ref self_;  // released after the count is decremented
};

}  // namespace binding
