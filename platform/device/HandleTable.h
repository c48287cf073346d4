// A table of Win32 handles over reference-counted objects (STYLE.md, Wine's handle tables):
// a handle is a value — a multiple of 4 from the table's own range, never reused — and never a
// pointer the program could dereference. Removing a handle drops the table's reference only, so
// a call still holding the object (blocked on another thread) finishes without touching freed
// memory.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace device {

template <typename T>
class HandleTable {
 public:
  // first: the table's first handle value; tables use ranges of their own so that a handle of
  // one kind passed where another is expected is never found.
  explicit HandleTable(uintptr_t first) : next_(first) {}

  uintptr_t insert(std::shared_ptr<T> object) {
    std::lock_guard<std::mutex> lk(mutex_);
    uintptr_t value = next_;
    next_ += 4;
    objects_.emplace(value, std::move(object));
    return value;
  }

  std::shared_ptr<T> lookup(uintptr_t value) const {
    std::lock_guard<std::mutex> lk(mutex_);
    auto it = objects_.find(value);
    return it == objects_.end() ? nullptr : it->second;
  }

  // The removed object (the caller's reference, released outside the table's lock), or null
  // when the handle is not in the table.
  std::shared_ptr<T> remove(uintptr_t value) {
    std::lock_guard<std::mutex> lk(mutex_);
    auto it = objects_.find(value);
    if (it == objects_.end()) return nullptr;
    std::shared_ptr<T> object = std::move(it->second);
    objects_.erase(it);
    return object;
  }

 private:
  mutable std::mutex mutex_;
  std::map<uintptr_t, std::shared_ptr<T>> objects_;
  uintptr_t next_;
};

}  // namespace device
