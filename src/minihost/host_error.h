// Failures of the host itself (a library that will not load, a world that cannot be allocated).
#pragma once

#include <stdexcept>
#include <string>

namespace minihost {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace minihost
