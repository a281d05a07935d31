// The one exception type of the core: a broken invariant or failed precondition.
#pragma once

#include <stdexcept>
#include <string>

namespace prefix {

// Thrown wherever the core meets data it cannot work with (an index outside an
// array, an absent code point, an undecodable byte string). The message names
// what was wrong with the numbers involved. Only the binding layer catches it.
class InternalFailure : public std::runtime_error {
 public:
  explicit InternalFailure(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace prefix
