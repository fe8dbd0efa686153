#pragma once

// Integer-keyed tables. omi_UintTable<T> maps unsigned keys to values and
// visits them in ascending key order. omi_IntTable<T> takes signed keys and
// keeps non-negative keys and negative keys in two unsigned tables, a negative
// key under its absolute value; its iterator visits every entry once, first
// the non-negative keys ascending, then the negative keys by ascending
// absolute value:
//
//   omi_IntTable<int> table;
//   table.Insert(2, 20); table.Insert(-3, 30); table.Insert(0, 0);
//   for (omi_IntTableIterator<int> it(table); it.More(); it.Next())
//     ...  // keys 0, 2, -3

#include <map>

template <class T>
class omi_UintTable {
 public:
  // Stores `value` under `key`; returns false (and changes nothing) when the
  // key is present already.
  bool Insert(unsigned key, const T& value) { return entries_.emplace(key, value).second; }
  // The value under `key`, or null.
  T* Find(unsigned key) {
    auto found = entries_.find(key);
    return found == entries_.end() ? nullptr : &found->second;
  }
  const T* Find(unsigned key) const {
    auto found = entries_.find(key);
    return found == entries_.end() ? nullptr : &found->second;
  }
  bool Remove(unsigned key) { return entries_.erase(key) != 0; }
  void Clear() { entries_.clear(); }
  int Size() const { return static_cast<int>(entries_.size()); }

  using const_iterator = typename std::map<unsigned, T>::const_iterator;
  using iterator = typename std::map<unsigned, T>::iterator;
  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  std::map<unsigned, T> entries_;
};

template <class T>
class omi_IntTable {
 public:
  bool Insert(int key, const T& value) { return Half(key).Insert(Magnitude(key), value); }
  T* Find(int key) { return Half(key).Find(Magnitude(key)); }
  const T* Find(int key) const { return Half(key).Find(Magnitude(key)); }
  bool Remove(int key) { return Half(key).Remove(Magnitude(key)); }
  void Clear() {
    nonNegative_.Clear();
    negative_.Clear();
  }
  int Size() const { return nonNegative_.Size() + negative_.Size(); }

  const omi_UintTable<T>& NonNegativeKeys() const { return nonNegative_; }
  const omi_UintTable<T>& NegativeKeys() const { return negative_; }

 private:
  static unsigned Magnitude(int key) {
    return key < 0 ? 0u - static_cast<unsigned>(key) : static_cast<unsigned>(key);
  }
  omi_UintTable<T>& Half(int key) { return key < 0 ? negative_ : nonNegative_; }
  const omi_UintTable<T>& Half(int key) const { return key < 0 ? negative_ : nonNegative_; }

  omi_UintTable<T> nonNegative_;
  omi_UintTable<T> negative_;
};

// Visits every entry of an omi_IntTable once: the non-negative keys in
// ascending order, then the negative keys by ascending absolute value. The
// table must not change while it is being iterated.
template <class T>
class omi_IntTableIterator {
 public:
  explicit omi_IntTableIterator(const omi_IntTable<T>& table)
      : table_(table), position_(table.NonNegativeKeys().begin()) {
    SkipToNegativeHalfIfDone();
  }
  bool More() const { return !inNegativeHalf_ || position_ != table_.NegativeKeys().end(); }
  void Next() {
    ++position_;
    SkipToNegativeHalfIfDone();
  }
  // A negative key is stored under its magnitude; negating in unsigned
  // arithmetic recovers every key, INT_MIN included.
  int Key() const {
    return static_cast<int>(inNegativeHalf_ ? 0u - position_->first : position_->first);
  }
  const T& Value() const { return position_->second; }

 private:
  void SkipToNegativeHalfIfDone() {
    if (!inNegativeHalf_ && position_ == table_.NonNegativeKeys().end()) {
      inNegativeHalf_ = true;
      position_ = table_.NegativeKeys().begin();
    }
  }
  const omi_IntTable<T>& table_;
  typename omi_UintTable<T>::const_iterator position_;
  bool inNegativeHalf_ = false;
};
