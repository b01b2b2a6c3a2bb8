#include "render/work_buffer.h"

#include <limits>
#include <new>

std::unique_ptr<Color3[]> NewWorkRows(std::int64_t rows, std::int64_t columns) {
  if (rows <= 0 || columns <= 0) return std::make_unique<Color3[]>(0);
  constexpr auto kMaxEntries =
      static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(Color3);
  const auto r = static_cast<std::uint64_t>(rows);
  const auto c = static_cast<std::uint64_t>(columns);
  if (c > kMaxEntries / r) throw std::bad_array_new_length();
  // The non-throwing form, so that a refused allocation comes back as null (also under AddressSanitizer
  // with allocator_may_return_null) and is raised here as the one failure the plug-in expects.
  std::unique_ptr<Color3[]> buffer(new (std::nothrow) Color3[static_cast<std::size_t>(r * c)]);
  if (buffer == nullptr) throw std::bad_alloc();
  return buffer;
}
