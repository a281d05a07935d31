// The display form of DecodeError, written in one place.
#include "prefix/store/decode_error.hpp"

#include <string>

namespace prefix {

namespace {

std::string_view name_of(IntegerType type) {
  switch (type) {
    case IntegerType::U32:
      return "U32";
    case IntegerType::U64:
      return "U64";
    case IntegerType::U128:
      return "U128";
    case IntegerType::Reserved:
      return "Reserved";
  }
  return "Unknown";
}

struct Display {
  std::string operator()(const UnexpectedEnd& e) const {
    return "UnexpectedEnd { additional: " + std::to_string(e.additional) + " }";
  }
  std::string operator()(const InvalidIntegerType& e) const {
    std::string out = "InvalidIntegerType { expected: ";
    out += name_of(e.expected);
    out += ", found: ";
    out += name_of(e.found);
    out += " }";
    return out;
  }
  std::string operator()(const UnexpectedVariant& e) const {
    std::string out = "UnexpectedVariant { type_name: \"";
    out += e.type_name;
    out += "\", allowed: Range { min: " + std::to_string(e.allowed.min) +
           ", max: " + std::to_string(e.allowed.max) + " }, found: " + std::to_string(e.found) +
           " }";
    return out;
  }
  std::string operator()(const InvalidCharEncoding& e) const {
    std::string out = "InvalidCharEncoding([";
    for (std::size_t i = 0; i < e.bytes.size(); ++i) {
      if (i > 0) out += ", ";
      out += std::to_string(e.bytes[i]);
    }
    out += "])";
    return out;
  }
};

}  // namespace

std::string to_string(const DecodeError& error) {
  return std::visit(Display{}, error);
}

}  // namespace prefix
