// Build tool: writes the registration resource bytes to the file named on the command line, for the
// resource compiler of the Windows build.
#include <cstdio>
#include <fstream>

#include "plugin/pipl.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pipl_gen OUTPUT\n");
    return 2;
  }
  const auto bytes = BuildPiPL();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "pipl_gen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
