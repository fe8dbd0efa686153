#pragma once

// Reference-counted growing list. Copies share their elements until one of
// them is changed (copy on write).
//
//   cow_List<int> modes;
//   modes.Append(3); modes.Append(7);   // modes[0] == 3, modes.Size() == 2

#include <memory>
#include <vector>

template <class T>
class cow_List {
 public:
  int Size() const { return elements_ ? static_cast<int>(elements_->size()) : 0; }
  const T& operator[](int i) const { return (*elements_)[static_cast<std::size_t>(i)]; }
  // Writable element; makes the list private first.
  T& At(int i) { return Own()[static_cast<std::size_t>(i)]; }
  void Append(const T& value) { Own().push_back(value); }
  void Clear() { elements_.reset(); }

 private:
  std::vector<T>& Own() {
    if (!elements_) {
      elements_ = std::make_shared<std::vector<T>>();
    } else if (elements_.use_count() > 1) {
      elements_ = std::make_shared<std::vector<T>>(*elements_);
    }
    return *elements_;
  }
  std::shared_ptr<std::vector<T>> elements_;
};
