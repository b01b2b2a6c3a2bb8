// Host handles: every handle the host hands out keeps its record until the host goes away, so that a
// disposed handle, a double disposal or a pointer the host never made is recognised and reported
// instead of touching freed memory.
#include <cstring>
#include <new>
#include <string>

#include "minihost/host_impl.h"

namespace minihost {
namespace {

unsigned char* Allocate(A_u_longlong size) {
  // A zero-byte handle still gets storage, so its data pointer is distinct and never null.
  return new unsigned char[size == 0 ? 1 : size]();
}

void Free(HandleBlock& block) {
  delete[] static_cast<unsigned char*>(block.data);
  block.data = nullptr;
}

std::string Describe(const HandleBlock& block) {
  return "handle #" + std::to_string(block.serial) + " (" + std::to_string(block.size) + " bytes)";
}

Host::Impl* CurrentImpl() {
  Host* host = CurrentHost();
  return host != nullptr ? &host->impl() : nullptr;
}

}  // namespace

HandleBlock* Host::Impl::usableLocked(PF_Handle handle, const char* use) noexcept {
  if (handle == nullptr) {
    problemLocked(std::string(use) + " of a null handle");
    return nullptr;
  }
  auto found = handles.find(handle);
  if (found == handles.end()) {
    problemLocked(std::string(use) + " of a handle the host never made");
    return nullptr;
  }
  HandleBlock& block = *found->second;
  if (block.disposed) {
    problemLocked(std::string(use) + " of " + Describe(block) + " after its disposal");
    return nullptr;
  }
  return &block;
}

void Host::Impl::checkNotRenderingLocked(PF_Handle handle, const char* use) noexcept {
  if (rendering.count(handle) == 0) return;
  auto found = handles.find(handle);
  const std::string what = found != handles.end() ? Describe(*found->second) : "a handle";
  problemLocked(std::string(use) + " of the sequence data (" + what +
                ") during PF_Cmd_RENDER, which may only read it");
}

PF_Handle Host::Impl::newHandle(A_u_longlong size) noexcept {
  try {
    auto block = std::make_unique<HandleBlock>();
    block->data = Allocate(size);
    block->size = size;
    std::lock_guard lock(mutex);
    block->serial = nextHandleSerial++;
    auto handle = reinterpret_cast<PF_Handle>(block.get());
    handles.emplace(handle, std::move(block));
    ++liveHandles;
    return handle;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* Host::Impl::lockHandle(PF_Handle handle) noexcept {
  std::lock_guard lock(mutex);
  checkNotRenderingLocked(handle, "lock");
  HandleBlock* block = usableLocked(handle, "lock");
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->data;
}

void Host::Impl::unlockHandle(PF_Handle handle) noexcept {
  std::lock_guard lock(mutex);
  HandleBlock* block = usableLocked(handle, "unlock");
  if (block == nullptr) return;
  if (block->locks == 0) {
    problemLocked("unlock of " + Describe(*block) + ", which is not locked");
    return;
  }
  --block->locks;
}

void Host::Impl::disposeHandle(PF_Handle handle) noexcept {
  std::lock_guard lock(mutex);
  checkNotRenderingLocked(handle, "disposal");
  HandleBlock* block = usableLocked(handle, "disposal");
  if (block == nullptr) return;
  Free(*block);
  block->disposed = true;
  --liveHandles;
}

A_u_longlong Host::Impl::handleSize(PF_Handle handle) noexcept {
  std::lock_guard lock(mutex);
  HandleBlock* block = usableLocked(handle, "size query");
  return block != nullptr ? block->size : 0;
}

void* Host::Impl::handleData(PF_Handle handle) noexcept {
  std::lock_guard lock(mutex);
  HandleBlock* block = usableLocked(handle, "data access");
  return block != nullptr ? block->data : nullptr;
}

PF_Err Host::Impl::resizeHandle(A_u_longlong size, PF_Handle* handleP) noexcept {
  if (handleP == nullptr) {
    problem("resize with no handle pointer");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  std::lock_guard lock(mutex);
  checkNotRenderingLocked(*handleP, "resize");
  HandleBlock* block = usableLocked(*handleP, "resize");
  if (block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  unsigned char* data = nullptr;
  try {
    data = Allocate(size);
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  }
  // The block moves, as on a real host: a pointer taken before the resize is stale afterwards.
  std::memcpy(data, block->data, static_cast<std::size_t>(size < block->size ? size : block->size));
  Free(*block);
  block->data = data;
  block->size = size;
  return PF_Err_NONE;
}

int Host::Impl::lockCount(PF_Handle handle) const noexcept {
  std::lock_guard lock(mutex);
  auto found = handles.find(handle);
  return found == handles.end() || found->second->disposed ? 0 : found->second->locks;
}

// The C callbacks carry no host; they serve the host current on the calling thread. With none there
// is nobody to report to, so they only give a harmless result.
PF_Handle HostNewHandle(A_u_longlong size) {
  Host::Impl* impl = CurrentImpl();
  return impl != nullptr ? impl->newHandle(size) : nullptr;
}

void* HostLockHandle(PF_Handle handle) {
  Host::Impl* impl = CurrentImpl();
  return impl != nullptr ? impl->lockHandle(handle) : nullptr;
}

void HostUnlockHandle(PF_Handle handle) {
  if (Host::Impl* impl = CurrentImpl()) impl->unlockHandle(handle);
}

void HostDisposeHandle(PF_Handle handle) {
  if (Host::Impl* impl = CurrentImpl()) impl->disposeHandle(handle);
}

A_u_longlong HostGetHandleSize(PF_Handle handle) {
  Host::Impl* impl = CurrentImpl();
  return impl != nullptr && impl->handleSizesAnswered ? impl->handleSize(handle) : 0;
}

PF_Err HostResizeHandle(A_u_longlong newSize, PF_Handle* handleP) {
  Host::Impl* impl = CurrentImpl();
  return impl != nullptr ? impl->resizeHandle(newSize, handleP) : PF_Err_BAD_CALLBACK_PARAM;
}

// Handle records are freed with the host; what the effect never disposed is freed here too.
Host::Impl::~Impl() {
  for (auto& [key, block] : handles) Free(*block);
}

}  // namespace minihost
