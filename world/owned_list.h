// An ordered list that owns its elements and tolerates being changed while
// it is walked: an element removed during a walk (an object deleting itself
// from its own step, a script deleting another one) stays alive until the
// outermost walk ends, and its slot is skipped from then on. Elements added
// during a walk are visited by that walk, like appending to a linked list.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

template <class T>
class OwnedList {
 public:
  using Ptr = std::unique_ptr<T>;

  OwnedList() = default;
  OwnedList(const OwnedList&) = delete;
  OwnedList& operator=(const OwnedList&) = delete;
  ~OwnedList() { clear(); }

  // Appends; a null pointer is not stored.
  T* add(Ptr p) {
    if (!p) return nullptr;
    ++version_;
    entries_.push_back(std::move(p));
    return entries_.back().get();
  }

  // Unlinks the first entry holding `p` (for null: the first empty slot) and
  // destroys its element, at once or, during a walk, when the walk ends.
  // False when no entry holds `p`.
  bool remove(const T* p) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].get() != p) continue;
      ++version_;
      if (walking_ > 0) {
        if (entries_[i]) doomed_.push_back(std::move(entries_[i]));
        holes_ = true;
      } else {
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      }
      return true;
    }
    return false;
  }

  // Takes an element out without destroying it (nullptr when not held).
  Ptr take(const T* p) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (!p || entries_[i].get() != p) continue;
      Ptr out = std::move(entries_[i]);
      ++version_;
      if (walking_ > 0)
        holes_ = true;
      else
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      return out;
    }
    return nullptr;
  }

  // Destroys every element (after the walk, when one is under way).
  void clear() {
    ++version_;
    if (walking_ > 0) {
      for (auto& e : entries_)
        if (e) doomed_.push_back(std::move(e));
      entries_.clear();
      return;
    }
    entries_.clear();
  }

  // Exchanges the elements of two lists that are not being walked.
  void swap(OwnedList& other) noexcept {
    entries_.swap(other.entries_);
    doomed_.swap(other.doomed_);
  }

  // Calls f(T&) for each element in order, including those added meanwhile.
  template <class F>
  void each(F&& f) {
    ++walking_;
    for (size_t i = 0; i < entries_.size(); ++i)
      if (T* p = entries_[i].get()) f(*p);
    if (--walking_ == 0) settle();
  }

  // Calls f(T&, slot) likewise; an element's slot stays the same until the
  // outermost walk ends.
  template <class F>
  void eachIndexed(F&& f) {
    ++walking_;
    for (size_t i = 0; i < entries_.size(); ++i)
      if (T* p = entries_[i].get()) f(*p, i);
    if (--walking_ == 0) settle();
  }

  // Reorders with a stable sort on the elements (not during a walk).
  template <class Less>
  void stableSort(Less&& less) {
    if (walking_ > 0) return;
    ++version_;
    std::stable_sort(entries_.begin(), entries_.end(),
                     [&](const Ptr& a, const Ptr& b) { return less(*a, *b); });
  }

  bool contains(const T* p) const {
    if (!p) return false;
    for (const auto& e : entries_)
      if (e.get() == p) return true;
    return false;
  }

  // Entries, empty slots of a running walk included.
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  T* operator[](size_t i) const { return entries_[i].get(); }
  T* front() const { return entries_.empty() ? nullptr : entries_.front().get(); }
  bool walking() const { return walking_ > 0; }
  // Changes whenever an element is added, removed or moved to another slot.
  uint64_t version() const { return version_; }

  typename std::vector<Ptr>::const_iterator begin() const { return entries_.begin(); }
  typename std::vector<Ptr>::const_iterator end() const { return entries_.end(); }

 private:
  void settle() {
    if (holes_) {
      ++version_;
      std::vector<Ptr> kept;
      kept.reserve(entries_.size());
      for (auto& e : entries_)
        if (e) kept.push_back(std::move(e));
      entries_.swap(kept);
      holes_ = false;
    }
    // Destroyed last: a destructor may not walk this list again safely
    // while entries are being moved.
    std::vector<Ptr> dead;
    dead.swap(doomed_);
  }

  std::vector<Ptr> entries_;
  std::vector<Ptr> doomed_;
  int walking_ = 0;
  bool holes_ = false;
  uint64_t version_ = 0;
};
