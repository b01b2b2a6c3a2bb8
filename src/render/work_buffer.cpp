#include "render/work_buffer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

static_assert(sizeof(std::size_t) >= sizeof(uint64_t), "the entry count of the largest world needs 64 bits");

std::size_t WorkBufferEntries(A_long width, A_long height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

std::unique_ptr<Color3[]> NewWorkBuffer(std::size_t entries) {
  constexpr std::size_t kMaxEntries =
      static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(Color3);
  if (entries > kMaxEntries) throw std::bad_array_new_length();
  // The non-throwing form, so that a refused allocation comes back as null (also under AddressSanitizer
  // with allocator_may_return_null) and is raised here as the one failure the entry point expects.
  std::unique_ptr<Color3[]> buffer(new (std::nothrow) Color3[entries]);
  if (buffer == nullptr) throw std::bad_alloc();
  std::fill_n(buffer.get(), entries, Color3(0.0f));
  return buffer;
}
