// The image formats the tool reads and writes, chosen one by one, and how a file's content and its name must
// agree before a reader sees it. OpenImageIO knows many more formats; a file in any other format, or whose
// content is not the format its name says, never reaches a decoder.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

struct ImageFormat {
  const char* name;        // as messages give it: "PNG"
  const char* reader;      // OpenImageIO's name for its reader and writer: "png"
  const char* extensions;  // space-separated, lower case, without dots
  bool written;            // also an output format
  bool sixteenBits;        // an output keeps 16-bit channels (else 8)
  bool alpha;              // an output keeps alpha
  // Colours stored multiplied by alpha (OpenEXR always; TIFF when its alpha says so).
  bool premultiplied;
};

// The format an extension names, or null when the tool does not read it (case does not matter).
const ImageFormat* FormatByExtension(const std::filesystem::path& path);

// The format the first bytes of a file are, or null when they are no format the tool reads. A Targa file has
// no signature: content that is no other format read here and has a sane Targa header counts as Targa
// (`namedTarga`: even where an icon's signature could also be read in it).
const ImageFormat* FormatByContent(std::span<const unsigned char> head, std::size_t fileBytes,
                                   bool namedTarga);

// For messages: what a file in a format the tool does not read is ("an ICO icon", "a Photoshop document"),
// by its first bytes, or empty when they are no format known here.
std::string ForeignFormat(std::span<const unsigned char> head);

// Whitespace between the fields of a PNM header: the C locale's white space (blank, tab, line feed, carriage
// return, vertical tab, form feed).
constexpr bool PnmSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// "PNG, JPEG, TIFF, ..." of the formats read (or written).
std::string FormatList(bool written);

// Throws CliError (usage) naming `path` when its extension is no format the tool writes.
const ImageFormat& OutputFormat(const std::filesystem::path& path);
