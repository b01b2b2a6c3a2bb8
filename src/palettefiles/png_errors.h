// libpng's errors as the project's PNG readers and writers take them. libpng reports an error by calling
// its error function, which must not return: OnPngError keeps the message and jumps back to the setjmp of
// the frame that called libpng, which then returns and lets its caller throw, so that no C++ object's
// destructor is skipped. Warnings are dropped.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdio>

struct PngErrors {
  std::jmp_buf jump;
  char message[200] = "";
};

// For png_create_read_struct and png_create_write_struct, with a PngErrors as their error pointer.
[[noreturn]] inline void OnPngError(png_structp png, png_const_charp message) {
  auto* errors = static_cast<PngErrors*>(png_get_error_ptr(png));
  std::snprintf(errors->message, sizeof errors->message, "%s", message);
  std::longjmp(errors->jump, 1);
}

inline void OnPngWarning(png_structp, png_const_charp) {}
