// State: the per-node map from text keys to owned, type-erased values that a
// traversal carries from a node to the children it descends into.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace prefix {

// A map from owned UTF-8 keys to owned values of any type. Each value lives in
// its own heap allocation and remembers its exact type, so a typed read can
// check it. A State is moved, never copied: each child gets a map of its own.
// Nothing iterates over a State, so the order of its entries is irrelevant.
class State {
 public:
  State() = default;
  State(State&&) noexcept = default;
  State& operator=(State&&) noexcept = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() = default;

  // Stores `value` under `key`. A value already under `key`, of whatever type,
  // is destroyed and replaced; the stored key text stays. Costs one
  // allocation for the value (plus one for the entry when the key is new).
  template <class T>
  void put(std::string key, T value) {
    auto holder = std::make_unique<Holder<T>>(std::move(value));
    // try_emplace leaves `holder` untouched when the key is already present.
    auto [it, inserted] = values_.try_emplace(std::move(key), std::move(holder));
    if (!inserted) it->second = std::move(holder);
  }

  // The value under `key` if there is one and its stored type is exactly T,
  // else nullptr; never throws on a missing key or another type. The pointer
  // stays valid until this State is next modified or destroyed.
  template <class T>
  [[nodiscard]] const T* get(std::string_view key) const {
    const auto it = values_.find(key);
    if (it == values_.end() || it->second->type != &TYPE_TAG<T>) return nullptr;
    return &static_cast<const Holder<T>&>(*it->second).value;
  }

 private:
  // One distinct address per type stands in for run-time type information.
  template <class T>
  static constexpr char TYPE_TAG = 0;

  struct Value {
    explicit Value(const void* type_tag) : type(type_tag) {}
    virtual ~Value() = default;
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    const void* type;
  };

  template <class T>
  struct Holder final : Value {
    explicit Holder(T v) : Value(&TYPE_TAG<T>), value(std::move(v)) {}
    T value;
  };

  // Lets find() take a string_view without building a std::string.
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const noexcept {
      return std::hash<std::string_view>{}(key);
    }
  };

  std::unordered_map<std::string, std::unique_ptr<Value>, KeyHash, std::equal_to<>> values_;
};

}  // namespace prefix
