// Building the columns of a columnar batch's answer, and exporting them as
// Arrow structures whose release callbacks drop a share of the columns.
#include "native/match_columns.hpp"

#include <cerrno>
#include <new>
#include <utility>

namespace native {
namespace {

// Where an empty buffer points: consumers may refuse a null pointer for a
// buffer that a type requires.
alignas(8) constexpr std::uint8_t EMPTY[8] = {};

template <class T>
const void* data_of(const std::vector<T>& values) {
  return values.empty() ? static_cast<const void*>(EMPTY) : values.data();
}

constexpr const char* FORMATS[MatchColumns::COLUMNS] = {"l", "U", "I", "l"};
constexpr const char* NAMES[MatchColumns::COLUMNS] = {"row", "key", "payload", "distance"};

// The private data of an exported schema: its children, if any.
struct SchemaHolder {
  std::vector<ArrowSchema> children;
  std::vector<ArrowSchema*> child_pointers;
};

void release_schema(ArrowSchema* schema) {
  if (schema == nullptr || schema->release == nullptr) return;
  if (auto* holder = static_cast<SchemaHolder*>(schema->private_data)) {
    for (ArrowSchema& child : holder->children) {
      if (child.release != nullptr) child.release(&child);
    }
    delete holder;
  }
  schema->release = nullptr;
}

void fill_schema(std::int64_t which, ArrowSchema& schema) {
  schema = ArrowSchema{};
  schema.release = release_schema;
  if (which != MatchColumns::STRUCT) {
    const auto c = static_cast<std::size_t>(which);
    schema.format = FORMATS[c];
    schema.name = NAMES[c];
    schema.flags = c == 0 ? 0 : arrow::NULLABLE;
    return;
  }
  schema.format = "+s";
  schema.name = "";
  auto holder = std::make_unique<SchemaHolder>();
  holder->children.resize(MatchColumns::COLUMNS);
  for (std::size_t c = 0; c < MatchColumns::COLUMNS; ++c) {
    fill_schema(static_cast<std::int64_t>(c), holder->children[c]);
    holder->child_pointers.push_back(&holder->children[c]);
  }
  schema.n_children = MatchColumns::COLUMNS;
  schema.children = holder->child_pointers.data();
  schema.private_data = holder.release();
}

}  // namespace

// The private data of an exported array: a share of the columns, its
// buffer pointers and its children.
struct ColumnExport {
  std::shared_ptr<const MatchColumns> columns;
  const void* buffers[3] = {nullptr, nullptr, nullptr};
  std::vector<ArrowArray> children;
  std::vector<ArrowArray*> child_pointers;

  static void release(ArrowArray* array) {
    if (array == nullptr || array->release == nullptr) return;
    auto* holder = static_cast<ColumnExport*>(array->private_data);
    for (ArrowArray& child : holder->children) {
      if (child.release != nullptr) child.release(&child);
    }
    delete holder;
    array->release = nullptr;
  }

  static void fill(const std::shared_ptr<const MatchColumns>& columns, std::int64_t which,
                   ArrowArray& array) {
    array = ArrowArray{};
    auto holder = std::make_unique<ColumnExport>();
    holder->columns = columns;
    const MatchColumns& c = *columns;
    array.length = static_cast<std::int64_t>(c.size());
    const void* validity = c.null_count_ == 0 ? nullptr : data_of(c.validity_);
    if (which == MatchColumns::STRUCT) {
      array.n_buffers = 1;
      holder->children.resize(MatchColumns::COLUMNS);
      holder->child_pointers.reserve(MatchColumns::COLUMNS);
      try {
        for (std::size_t k = 0; k < MatchColumns::COLUMNS; ++k) {
          fill(columns, static_cast<std::int64_t>(k), holder->children[k]);
          holder->child_pointers.push_back(&holder->children[k]);
        }
      } catch (...) {
        for (ArrowArray& child : holder->children) {
          if (child.release != nullptr) child.release(&child);
        }
        throw;
      }
      array.n_children = MatchColumns::COLUMNS;
      array.children = holder->child_pointers.data();
    } else if (which == 0) {
      array.n_buffers = 2;
      holder->buffers[1] = data_of(c.rows_);
    } else {
      array.null_count = static_cast<std::int64_t>(c.null_count_);
      holder->buffers[0] = validity;
      if (which == 1) {
        array.n_buffers = 3;
        holder->buffers[1] = data_of(c.key_offsets_);
        holder->buffers[2] =
            c.key_bytes_.empty() ? static_cast<const void*>(EMPTY) : c.key_bytes_.data();
      } else {
        array.n_buffers = 2;
        holder->buffers[1] = which == 2 ? data_of(c.payloads_) : data_of(c.distances_);
      }
    }
    array.buffers = holder->buffers;
    array.release = release;
    array.private_data = holder.release();
  }
};

namespace {

struct StreamHolder {
  std::shared_ptr<const MatchColumns> columns;
  bool sent = false;
};

int stream_schema(ArrowArrayStream* /*stream*/, ArrowSchema* out) {
  try {
    fill_schema(MatchColumns::STRUCT, *out);
    return 0;
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
}

int stream_next(ArrowArrayStream* stream, ArrowArray* out) {
  auto* holder = static_cast<StreamHolder*>(stream->private_data);
  if (holder->sent) {
    *out = ArrowArray{};
    return 0;
  }
  try {
    ColumnExport::fill(holder->columns, MatchColumns::STRUCT, *out);
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
  holder->sent = true;
  return 0;
}

const char* stream_error(ArrowArrayStream* /*stream*/) {
  return nullptr;
}

void release_stream(ArrowArrayStream* stream) {
  if (stream == nullptr || stream->release == nullptr) return;
  delete static_cast<StreamHolder*>(stream->private_data);
  stream->release = nullptr;
}

}  // namespace

MatchColumns::MatchColumns() : key_offsets_{0} {}

void MatchColumns::push_validity(bool found) {
  const std::size_t row = rows_.size() - 1;
  if ((row & 7) == 0) validity_.push_back(0);
  if (found) {
    validity_.back() = static_cast<std::uint8_t>(validity_.back() | (1U << (row & 7)));
  } else {
    ++null_count_;
  }
}

void MatchColumns::reserve(std::size_t rows) {
  rows_.reserve(rows);
  key_offsets_.reserve(rows + 1);
  payloads_.reserve(rows);
  distances_.reserve(rows);
  validity_.reserve((rows + 7) / 8);
}

void MatchColumns::append(std::int64_t row, const std::vector<prefix::RankedMatch>& matches) {
  if (matches.empty()) {
    rows_.push_back(row);
    key_offsets_.push_back(key_offsets_.back());
    payloads_.push_back(0);
    distances_.push_back(0);
    push_validity(false);
    return;
  }
  for (const prefix::RankedMatch& match : matches) {
    rows_.push_back(row);
    key_bytes_.append(match.key);
    key_offsets_.push_back(static_cast<std::int64_t>(key_bytes_.size()));
    payloads_.push_back(match.payload);
    distances_.push_back(static_cast<std::int64_t>(match.distance));
    push_validity(true);
  }
}

std::string_view MatchColumns::name(std::size_t column) {
  return NAMES[column];
}

std::string_view MatchColumns::values(std::size_t column) const noexcept {
  const auto bytes = [](const auto& values) {
    return std::string_view(static_cast<const char*>(data_of(values)),
                            values.size() * sizeof(values[0]));
  };
  switch (column) {
    case 0:
      return bytes(rows_);
    case 1:
      return key_bytes_;
    case 2:
      return bytes(payloads_);
    default:
      return bytes(distances_);
  }
}

void export_columns(const std::shared_ptr<const MatchColumns>& columns, std::int64_t which,
                    ArrowSchema& schema, ArrowArray& array) {
  fill_schema(which, schema);
  try {
    ColumnExport::fill(columns, which, array);
  } catch (...) {
    schema.release(&schema);
    throw;
  }
}

void export_stream(const std::shared_ptr<const MatchColumns>& columns, ArrowArrayStream& stream) {
  stream = ArrowArrayStream{};
  stream.private_data = new StreamHolder{columns, false};
  stream.get_schema = stream_schema;
  stream.get_next = stream_next;
  stream.get_last_error = stream_error;
  stream.release = release_stream;
}

}  // namespace native
