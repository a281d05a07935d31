// Ref, the owner of one Python reference, and OnceCell, a process-wide slot set once.
#pragma once

#include <Python.h>

#include <utility>

namespace binding {

// Owns one strong reference to a Python object, or none. Copying takes another
// reference, destruction releases it. Every operation requires the
// interpreter lock.
class Ref {
 public:
  Ref() noexcept = default;
  Ref(const Ref& other) noexcept : object_(other.object_) { Py_XINCREF(object_); }
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Ref() { Py_XDECREF(object_); }

  // Takes over a new reference, as the C API returns them; null gives an empty Ref.
  [[nodiscard]] static Ref steal(PyObject* object) noexcept { return Ref(object); }
  // Takes a new reference to a borrowed object; null gives an empty Ref.
  [[nodiscard]] static Ref borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return Ref(object);
  }

  [[nodiscard]] PyObject* get() const noexcept { return object_; }
  // Hands the reference to the caller, leaving this Ref empty.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  explicit Ref(PyObject* object) noexcept : object_(object) {}

  PyObject* object_ = nullptr;
};

// A process-wide slot that holds one strong reference from its first
// successful initialisation on and is never cleared. Used with the
// interpreter lock held; constant-initialised, so reading it costs one load.
class OnceCell {
 public:
  constexpr OnceCell() noexcept = default;
  OnceCell(const OnceCell&) = delete;
  OnceCell& operator=(const OnceCell&) = delete;
  ~OnceCell() = default;  // the reference is kept for the life of the process

  // The stored object (borrowed), or null before initialisation.
  [[nodiscard]] PyObject* get() const noexcept { return object_; }

  // The stored object (borrowed), created by `make` (returning a Ref) when
  // the cell is empty. If `make` throws, the cell stays empty and the next
  // call tries again. If the cell was filled while `make` ran (it may run
  // Python code), the first value is kept and the new one released.
  template <class Make>
  PyObject* get_or_init(Make&& make) {
    if (object_ != nullptr) return object_;
    Ref created = std::forward<Make>(make)();
    return set_if_empty(std::move(created));
  }

  // Stores `value` unless the cell is already filled; returns what the cell holds.
  PyObject* set_if_empty(Ref value) noexcept {
    if (object_ == nullptr) object_ = value.release();
    return object_;
  }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace binding
