// Holds a COM interface and releases it when it goes out of scope: the one
// way COM interfaces are released in the program and its tests.
#pragma once

namespace pravonell::win32 {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T** Out() { return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace pravonell::win32
