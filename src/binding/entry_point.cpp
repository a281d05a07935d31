// Turning a failure caught by the entry-point wrapper into the Python error it stands for.
#include "binding/entry_point.hpp"

#include <exception>
#include <new>

#include "binding/error.hpp"
#include "binding/panic.hpp"
#include "prefix/failure.hpp"

namespace binding {

void raise_current_failure() noexcept {
  try {
    try {
      throw;
    } catch (Error& error) {
      error.restore();
    } catch (const prefix::InternalFailure& failure) {
      raise_panic(failure.what());
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
    } catch (const std::exception& failure) {
      raise_panic(failure.what());
    } catch (...) {
      raise_panic("internal failure of unknown kind");
    }
  } catch (...) {
    Py_FatalError("_quorvatine: a failure occurred while reporting a failure to Python");
  }
}

}  // namespace binding
