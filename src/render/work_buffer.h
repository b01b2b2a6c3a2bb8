// Float work rows for error diffusion, asked for in one piece before any pixel is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "palette/color.h"

// rows x columns colours, counted in 64 bits so that no pair of world sizes overflows; a negative count
// counts as 0. Throws std::bad_alloc (or std::bad_array_new_length when the byte size is not addressable)
// when it cannot be had; the contents are not set.
template <typename Entry = Color3>
std::unique_ptr<Entry[]> NewWorkRows(std::int64_t rows, std::int64_t columns) {
  if (rows <= 0 || columns <= 0) return std::make_unique<Entry[]>(0);
  constexpr auto kMaxEntries =
      static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(Entry);
  const auto r = static_cast<std::uint64_t>(rows);
  const auto c = static_cast<std::uint64_t>(columns);
  if (c > kMaxEntries / r) throw std::bad_array_new_length();
  // The non-throwing form, so that a refused allocation comes back as null (also under AddressSanitizer
  // with allocator_may_return_null) and is raised here as the one failure the plug-in expects.
  std::unique_ptr<Entry[]> buffer(new (std::nothrow) Entry[static_cast<std::size_t>(r * c)]);
  if (buffer == nullptr) throw std::bad_alloc();
  return buffer;
}
