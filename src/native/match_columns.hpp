// The answer of a columnar batch: one row per match (or per query without
// one), as four columns that are exported through the Arrow C data
// interface without copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "native/arrow_abi.hpp"
#include "prefix/walk/top_sink.hpp"

namespace native {

// Columns `row` (int64: the query's row), `key` (large_string), `payload`
// (uint32) and `distance` (int64); the last three are null together, on a
// row that stands for a query without a match (or a null query).
class MatchColumns {
 public:
  static constexpr std::size_t COLUMNS = 4;
  static constexpr std::int64_t STRUCT = -1;  // the columns together, as a struct

  MatchColumns();

  // Makes room for `rows` rows without reallocating (a batch gives at
  // least a row per query).
  void reserve(std::size_t rows);

  // Appends the matches of query `row`, best first, or one null row when
  // there are none.
  void append(std::int64_t row, const std::vector<prefix::RankedMatch>& matches);

  [[nodiscard]] std::size_t size() const noexcept { return rows_.size(); }
  [[nodiscard]] std::size_t null_count() const noexcept { return null_count_; }
  [[nodiscard]] static std::string_view name(std::size_t column);

  // The bytes of column `column`'s values (for key: its UTF-8, with
  // key_offsets() marking each row's), and the validity bitmap shared by
  // key, payload and distance.
  [[nodiscard]] std::string_view values(std::size_t column) const noexcept;
  [[nodiscard]] const std::vector<std::int64_t>& key_offsets() const noexcept {
    return key_offsets_;
  }
  [[nodiscard]] bool is_found(std::size_t row) const noexcept {
    return ((validity_[row >> 3] >> (row & 7)) & 1) != 0;
  }

 private:
  void push_validity(bool found);

  std::vector<std::int64_t> rows_;
  std::vector<std::int64_t> key_offsets_;
  std::string key_bytes_;
  std::vector<std::uint32_t> payloads_;
  std::vector<std::int64_t> distances_;
  std::vector<std::uint8_t> validity_;
  std::size_t null_count_ = 0;

  friend struct ColumnExport;
};

// Exports `columns` (kept alive by the exported structures until the last
// is released) as column `which` (0 to 3) or as a struct of all four
// (MatchColumns::STRUCT): fills `schema` and `array`, which the caller then
// owns. Throws std::bad_alloc only.
void export_columns(const std::shared_ptr<const MatchColumns>& columns, std::int64_t which,
                    ArrowSchema& schema, ArrowArray& array);

// Fills `stream` with a stream of one struct array of every column.
void export_stream(const std::shared_ptr<const MatchColumns>& columns, ArrowArrayStream& stream);

}  // namespace native
