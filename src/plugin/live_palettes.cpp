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
  const auto found = registry.palettes.find(address);
  return found != registry.palettes.end() && found->second.holder == holder ? found->second.palette.get()
                                                                            : nullptr;
}

const CustomPalette* Find(const void* address) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  const auto found = registry.palettes.find(address);
  return found != registry.palettes.end() ? found->second.palette.get() : nullptr;
}

std::unique_ptr<CustomPalette> Release(const void* address, PF_Handle holder) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  const auto found = registry.palettes.find(address);
  if (found == registry.palettes.end() || found->second.holder != holder) return nullptr;
  std::unique_ptr<CustomPalette> palette = std::move(found->second.palette);
  registry.palettes.erase(found);
  return palette;
}

}  // namespace live_palettes
