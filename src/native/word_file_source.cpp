// Reading a word-list file in chunks, and the messages of its refusals.
#include "native/word_file_source.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "native/released_lock.hpp"

namespace native {
namespace {

using binding::Ref;
using prefix::WordFileError;

constexpr std::size_t CHUNK_BYTES = std::size_t{1} << 20;

struct CloseFile {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// The reader's outcome, or the errno of a failed open or read.
struct Reading {
  std::variant<prefix::WordFileResult, int> outcome;
};

Reading read_file(const char* path) {
  const std::unique_ptr<std::FILE, CloseFile> file(std::fopen(path, "rb"));
  if (!file) return {errno};
  std::vector<char> chunk(CHUNK_BYTES);
  prefix::WordFileReader reader;
  struct stat status {};
  if (fstat(fileno(file.get()), &status) == 0 && S_ISREG(status.st_mode)) {
    reader.expect(static_cast<std::size_t>(status.st_size));
  }
  for (;;) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (got == 0) {
      if (std::ferror(file.get()) != 0) return {errno};
      break;
    }
    if (!reader.feed({chunk.data(), got})) break;
  }
  return {std::move(reader).finish()};
}

Ref message(const WordFileError& error, PyObject* name) {
  const auto line = static_cast<unsigned long long>(error.line);
  const auto field = [&error] {
    return Ref::steal(PyUnicode_DecodeUTF8(error.field.data(),
                                           static_cast<Py_ssize_t>(error.field.size()), nullptr));
  };
  switch (error.kind) {
    case WordFileError::Kind::InvalidUtf8:
      return Ref::steal(PyUnicode_FromFormat("%U:%llu: not valid UTF-8", name, line));
    case WordFileError::Kind::LineTooLong:
      return Ref::steal(PyUnicode_FromFormat("%U:%llu: line longer than %zu bytes", name, line,
                                             prefix::MAX_WORD_BYTES));
    case WordFileError::Kind::Malformed:
      return Ref::steal(
          PyUnicode_FromFormat("%U:%llu: malformed line (expected %s per line)", name, line,
                               error.with_payloads ? "a word and a payload" : "one word"));
    case WordFileError::Kind::EmptyWord:
      return Ref::steal(PyUnicode_FromFormat("%U:%llu: empty word", name, line));
    case WordFileError::Kind::BadPayload: {
      const Ref payload = field();
      if (!payload) return {};
      return Ref::steal(PyUnicode_FromFormat(
          "%U:%llu: payload %R is not an integer from 0 to 4294967295", name, line, payload.get()));
    }
    case WordFileError::Kind::Repeated: {
      const Ref word = field();
      if (!word) return {};
      return Ref::steal(PyUnicode_FromFormat("%U:%llu: word %R repeated", name, line, word.get()));
    }
  }
  return {};
}

}  // namespace

prefix::WordFile read_word_file(PyObject* path, PyObject* name) {
  const char* const path_bytes = PyBytes_AsString(path);
  if (path_bytes == nullptr) binding::throw_fetched();
  // The bytes object is the caller's argument and outlives the read.
  Reading reading = without_lock([path_bytes] { return read_file(path_bytes); });
  if (const int* error = std::get_if<int>(&reading.outcome)) {
    errno = *error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name);
    binding::throw_fetched();
  }
  auto& result = std::get<prefix::WordFileResult>(reading.outcome);
  if (const auto* error = std::get_if<WordFileError>(&result)) {
    Ref text = message(*error, name);
    if (!text) binding::throw_fetched();
    throw binding::Error::pending(PyExc_ValueError, std::move(text));
  }
  return std::get<prefix::WordFile>(std::move(result));
}

}  // namespace native
