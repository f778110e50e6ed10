// Process entry of the velmora executable, and its global allocation functions.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/startup.h"
#include "text/fatal.h"

namespace {

// Room for the condition text; it is built without allocating.
constexpr std::size_t kConditionCapacity = 128;

// A failed allocation is the fatal runtime error, naming the byte count asked for.
// A second failure while the first is being shown ends the process at once.
[[noreturn]] void OutOfMemory(std::size_t size) {
  static thread_local bool raising = false;
  if (raising) {
    std::fputs("out of memory while reporting out of memory\n", stderr);
    std::_Exit(velmora::kFatalExitCode);
  }
  raising = true;
  char condition[kConditionCapacity];
  const int length = std::snprintf(condition, sizeof condition,
                                   "Out of memory: %zu bytes could not be allocated", size);
  velmora::RaiseFatalError(
      std::string_view(condition, length > 0 ? static_cast<std::size_t>(length) : 0));
}

void* Allocate(std::size_t size) {
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  OutOfMemory(size);
}

void* AllocateOrNull(std::size_t size) noexcept { return std::malloc(size == 0 ? 1 : size); }

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
// The non-throwing forms keep their contract: null on failure, for callers that check.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
// Matching releases, so every block of the forms above goes back to malloc's heap.
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

int main(int argc, char** argv) { velmora::RunApplication(argc, argv); }
