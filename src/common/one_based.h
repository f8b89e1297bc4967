#pragma once

#include <cstdint>
#include <vector>

namespace tarnwick {

// The model's lists count from 1 (resources, mods, changes); this keeps that numbering in the
// code instead of an off-by-one at every use.
template <typename T>
class OneBased {
 public:
  int32_t size() const { return static_cast<int32_t>(items_.size()); }
  bool empty() const { return items_.empty(); }

  T& operator[](int32_t i) { return items_[static_cast<size_t>(i - 1)]; }
  const T& operator[](int32_t i) const { return items_[static_cast<size_t>(i - 1)]; }
  T& back() { return items_.back(); }
  const T& back() const { return items_.back(); }

  void push_back(T item) { items_.push_back(std::move(item)); }
  void pop_back() { items_.pop_back(); }
  void resize(int32_t n) { items_.resize(static_cast<size_t>(n)); }
  void clear() { items_.clear(); }
  void reserve(int32_t n) { items_.reserve(static_cast<size_t>(n)); }

  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  bool operator==(const OneBased&) const = default;

 private:
  std::vector<T> items_;
};

}  // namespace tarnwick
