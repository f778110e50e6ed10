// NoDestructor<T>: a T built on first use and never destroyed, for the process-wide
// objects of this program.
//
// Why never destroyed: the process ends with _Exit (after the window closes) or
// _exit (the fatal runtime error) while probe workers may still be running, blocked
// in a table call or a transfer. Those workers can reach a process-wide object at
// any moment up to the very end; an object destroyed by static destruction would be
// touched after its lifetime. Keeping it alive to the end costs nothing the
// operating system does not reclaim.
//
// Use it only as a function-local static (thread-safe construction on first use):
//   Jar& TheJar() {
//     static NoDestructor<Jar> jar;
//     return *jar;
//   }
#ifndef VELMORA_PLATFORM_NO_DESTRUCTOR_H_
#define VELMORA_PLATFORM_NO_DESTRUCTOR_H_

#include <new>
#include <utility>

namespace velmora::platform {

template <typename T>
class NoDestructor {
 public:
  // Builds the T in place from `args`.
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }

  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;
  // Trivial on purpose: the T is never destroyed.
  ~NoDestructor() = default;

  [[nodiscard]] T& operator*() { return *get(); }
  [[nodiscard]] const T& operator*() const { return *get(); }
  [[nodiscard]] T* operator->() { return get(); }
  [[nodiscard]] const T* operator->() const { return get(); }
  [[nodiscard]] T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  [[nodiscard]] const T* get() const { return std::launder(reinterpret_cast<const T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_NO_DESTRUCTOR_H_
