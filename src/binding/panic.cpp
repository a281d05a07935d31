// PanicException: its class, raising it for an internal failure, and resuming a fetched one.
#include "binding/panic.hpp"

#include <string>

#include "binding/compat.hpp"
#include "prefix/failure.hpp"

namespace binding {
namespace {

constinit OnceCell panic_class;

constexpr const char* PANIC_NAME = "tovrek_runtime.PanicException";
constexpr const char* PANIC_DOC =
    "Raised when the native code of _quorvatine fails internally: an inconsistency\n"
    "in a trie's arrays met by a query, an undecodable byte string, a failed\n"
    "interpreter call.\n"
    "\n"
    "Like SystemExit, it derives from BaseException and not from Exception, so that\n"
    "`except Exception` lets it through: it normally propagates all the way up the\n"
    "stack and makes the interpreter exit.";

constexpr std::string_view NO_MESSAGE = "internal failure without a message";

}  // namespace

PyObject* panic_exception_class() noexcept {
  if (PyObject* existing = panic_class.get()) return existing;
  Ref created =
      Ref::steal(PyErr_NewExceptionWithDoc(PANIC_NAME, PANIC_DOC, PyExc_BaseException, nullptr));
  if (!created) return nullptr;
  return panic_class.set_if_empty(std::move(created));
}

void adopt_panic_exception_class(PyObject* existing) noexcept {
  (void)panic_class.set_if_empty(Ref::borrow(existing));
}

PyObject* created_panic_exception_class() noexcept {
  return panic_class.get();
}

void raise_panic(std::string_view message) noexcept {
  if (message.empty()) message = NO_MESSAGE;
  PyObject* const panic = panic_exception_class();
  if (panic == nullptr) {
    // The creation error stays raised; keep the failure's text visible.
    const std::string text(message);
    PySys_WriteStderr("_quorvatine: internal failure: %.900s\n", text.c_str());
    return;
  }
  const Ref text = Ref::steal(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;
  const Ref arguments = Ref::steal(PyTuple_Pack(1, text.get()));
  if (!arguments) return;
  PyErr_SetObject(panic, arguments.get());
}

void resume_panic(Ref exception) {
  std::string message = "Unwrapped panic from Python code";
  if (const Ref text = Ref::steal(PyObject_Str(exception.get()))) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size)) {
      message.assign(utf8, static_cast<std::size_t>(size));
    }
  }
  PyErr_Clear();  // a failed str() must not disturb the report below
  PySys_WriteStderr(
      "_quorvatine: Python code raised a PanicException into the module's native code;\n"
      "resuming it as an internal failure. The original exception follows.\n");
  compat::set_raised_exception(exception.release());
  PyErr_PrintEx(0);
  throw prefix::InternalFailure(message);
}

}  // namespace binding
