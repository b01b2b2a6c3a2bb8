#include "plugin/live_palettes.h"

#include <mutex>
#include <unordered_map>

namespace live_palettes {
namespace {

struct Live {
  std::unique_ptr<CustomPalette> palette;
  PF_Handle holder;
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<const void*, Live> palettes;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// The entry at `address`, or null; the caller holds the registry's lock.
Live* LiveAt(Registry& registry, const void* address) {
  const auto found = registry.palettes.find(address);
  return found != registry.palettes.end() ? &found->second : nullptr;
}

}  // namespace

CustomPalette* Adopt(std::unique_ptr<CustomPalette> palette, PF_Handle holder) {
  Registry& registry = TheRegistry();
  CustomPalette* address = palette.get();
  const std::lock_guard lock(registry.mutex);
  registry.palettes[address] = Live{std::move(palette), holder};
  return address;
}

CustomPalette* HeldBy(const void* address, PF_Handle holder) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  const Live* live = LiveAt(registry, address);
  return live != nullptr && live->holder == holder ? live->palette.get() : nullptr;
}

const CustomPalette* Find(const void* address) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  const Live* live = LiveAt(registry, address);
  return live != nullptr ? live->palette.get() : nullptr;
}

std::unique_ptr<CustomPalette> Release(const void* address, PF_Handle holder) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  Live* live = LiveAt(registry, address);
  if (live == nullptr || live->holder != holder) return nullptr;
  std::unique_ptr<CustomPalette> palette = std::move(live->palette);
  registry.palettes.erase(address);
  return palette;
}

}  // namespace live_palettes
