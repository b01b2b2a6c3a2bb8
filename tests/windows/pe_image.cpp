#include "pe_image.h"

#include <algorithm>
#include <utility>

namespace pe {
namespace {

constexpr uint32_t kSectionExecutable = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE
constexpr uint16_t kPe32Plus = 0x20B;
constexpr std::size_t kMaxNameLength = 4096;  // longer than any export or library name a loader accepts

}  // namespace

void Image::Need(uint64_t offset, uint64_t size, const char* what) const {
  if (offset > bytes_.size() || size > bytes_.size() - offset) {
    throw FormatError(std::string(what) + " lies outside the file (offset " + std::to_string(offset) + ", " +
                      std::to_string(size) + " bytes, file " + std::to_string(bytes_.size()) + ")");
  }
}

uint16_t Image::U16(uint64_t offset) const {
  Need(offset, 2, "a 16-bit field");
  return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

uint32_t Image::U32(uint64_t offset) const {
  Need(offset, 4, "a 32-bit field");
  return static_cast<uint32_t>(bytes_[offset]) | static_cast<uint32_t>(bytes_[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes_[offset + 2]) << 16 | static_cast<uint32_t>(bytes_[offset + 3]) << 24;
}

Image::Image(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
  if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') throw FormatError("no MZ header");
  const uint64_t pe = U32(0x3C);
  Need(pe, 24, "the PE header");
  if (bytes_[pe] != 'P' || bytes_[pe + 1] != 'E' || bytes_[pe + 2] != 0 || bytes_[pe + 3] != 0) {
    throw FormatError("no PE signature");
  }
  machine_ = U16(pe + 4);
  const uint16_t sectionCount = U16(pe + 6);
  const uint16_t optionalSize = U16(pe + 20);
  characteristics_ = U16(pe + 22);
  const uint64_t optional = pe + 24;
  Need(optional, optionalSize, "the optional header");
  if (optionalSize < 112 || U16(optional) != kPe32Plus) throw FormatError("not a PE32+ (64-bit) image");
  const uint32_t directoryCount = U32(optional + 108);
  if (directoryCount > (optionalSize - 112u) / 8u) throw FormatError("more data directories than fit");
  auto directory = [&](uint32_t index) {
    Directory d;
    if (index < directoryCount) d = {U32(optional + 112 + 8 * index), U32(optional + 116 + 8 * index)};
    return d;
  };
  exportDir_ = directory(0);
  importDir_ = directory(1);
  resourceDir_ = directory(2);

  const uint64_t table = optional + optionalSize;
  Need(table, uint64_t{40} * sectionCount, "the section table");
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const uint64_t s = table + 40u * i;
    sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20), U32(s + 36)});
  }
}

uint64_t Image::FileOffset(uint64_t rva, uint64_t size, const char* what) const {
  for (const Section& s : sections_) {
    const uint64_t extent = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) {
      const uint64_t within = rva - s.virtualAddress;
      if (within > s.rawSize || size > s.rawSize - within) {
        throw FormatError(std::string(what) + " is not all stored in the file");
      }
      Need(s.rawOffset + within, size, what);
      return s.rawOffset + within;
    }
  }
  throw FormatError(std::string(what) + " at RVA " + std::to_string(rva) + " lies in no section");
}

bool Image::isCode(uint32_t rva) const {
  for (const Section& s : sections_) {
    if (rva >= s.virtualAddress && rva - s.virtualAddress < s.virtualSize) {
      return (s.characteristics & kSectionExecutable) != 0;
    }
  }
  return false;
}

std::string Image::AsciiAt(uint32_t rva, const char* what) const {
  const uint64_t start = FileOffset(rva, 1, what);
  std::string text;
  for (uint64_t at = start;; ++at) {
    Need(at, 1, what);
    if (bytes_[at] == 0) return text;
    if (text.size() == kMaxNameLength) throw FormatError(std::string(what) + " is not terminated");
    text += static_cast<char>(bytes_[at]);
  }
}

uint32_t Image::exportedFunctionCount() const {
  if (exportDir_.rva == 0) return 0;
  return U32(FileOffset(exportDir_.rva, 40, "the export directory") + 20);
}

std::vector<Export> Image::exports() const {
  std::vector<Export> out;
  if (exportDir_.rva == 0) return out;
  const uint64_t dir = FileOffset(exportDir_.rva, 40, "the export directory");
  const uint32_t functionCount = U32(dir + 20), nameCount = U32(dir + 24);
  const uint32_t functions = U32(dir + 28), names = U32(dir + 32), ordinals = U32(dir + 36);
  const uint64_t functionTable =
      FileOffset(functions, uint64_t{4} * functionCount, "the export address table");
  const uint64_t nameTable = FileOffset(names, uint64_t{4} * nameCount, "the export name table");
  const uint64_t ordinalTable = FileOffset(ordinals, uint64_t{2} * nameCount, "the export ordinal table");
  for (uint32_t i = 0; i < nameCount; ++i) {
    const uint16_t ordinal = U16(ordinalTable + 2u * i);
    if (ordinal >= functionCount) throw FormatError("an export name points past the address table");
    out.push_back({AsciiAt(U32(nameTable + 4u * i), "an export name"), U32(functionTable + 4u * ordinal)});
  }
  return out;
}

std::vector<std::string> Image::importedLibraries() const {
  std::vector<std::string> out;
  if (importDir_.rva == 0) return out;
  // Descriptors of 20 bytes, the list ended by one of zeros.
  for (uint64_t rva = importDir_.rva;; rva += 20) {
    const uint64_t at = FileOffset(rva, 20, "an import descriptor");
    bool zero = true;
    for (int i = 0; i < 20; ++i) zero = zero && bytes_[at + i] == 0;
    if (zero) return out;
    if (out.size() == kMaxNameLength) throw FormatError("the import list is not terminated");
    out.push_back(AsciiAt(U32(at + 12), "an imported library's name"));
  }
}

std::u16string Image::ResourceName(uint64_t root, uint32_t entryName) const {
  // A name is a 16-bit length and that many UTF-16 units, at an offset from the resource tree's root.
  const uint64_t at = root + (entryName & 0x7FFFFFFF);
  const uint16_t length = U16(at);
  Need(at + 2, uint64_t{2} * length, "a resource name");
  std::u16string name;
  for (uint16_t i = 0; i < length; ++i) name += static_cast<char16_t>(U16(at + 2 + 2u * i));
  return name;
}

std::vector<Resource> Image::resources() const {
  std::vector<Resource> out;
  if (resourceDir_.rva == 0) return out;
  const uint64_t root = FileOffset(resourceDir_.rva, resourceDir_.size, "the resource tree");
  const uint64_t end = root + resourceDir_.size;

  // One level of the tree: a 16-byte header with the counts of named and numbered entries, then 8-byte
  // entries of name-or-id and offset (high bit: a subdirectory, else a data entry).
  struct Entry {
    bool isName;
    std::u16string name;
    uint16_t id;
    bool isDirectory;
    uint64_t offset;
  };
  auto level = [&](uint64_t at) {
    if (at < root || at + 16 > end) throw FormatError("a resource directory lies outside the tree");
    const uint32_t count = uint32_t{U16(at + 12)} + U16(at + 14);
    if (uint64_t{8} * count > end - at - 16)
      throw FormatError("a resource directory's entries run past the tree");
    std::vector<Entry> entries;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t name = U32(at + 16 + 8u * i), target = U32(at + 20 + 8u * i);
      Entry e{(name & 0x80000000u) != 0,
              {},
              static_cast<uint16_t>(name & 0xFFFF),
              (target & 0x80000000u) != 0,
              root + (target & 0x7FFFFFFF)};
      if (e.isName) e.name = ResourceName(root, name);
      entries.push_back(std::move(e));
    }
    return entries;
  };

  for (const Entry& type : level(root)) {
    if (!type.isDirectory) throw FormatError("a resource type is not a directory");
    for (const Entry& name : level(type.offset)) {
      if (!name.isDirectory) throw FormatError("a resource name is not a directory");
      for (const Entry& language : level(name.offset)) {
        if (language.isDirectory || language.isName)
          throw FormatError("a resource language is not a data entry");
        if (language.offset + 16 > end) throw FormatError("a resource data entry lies outside the tree");
        const uint32_t dataRva = U32(language.offset), size = U32(language.offset + 4);
        const uint64_t data = FileOffset(dataRva, size, "resource data");
        Resource r;
        r.typeIsName = type.isName;
        r.typeName = type.name;
        r.typeId = type.id;
        r.nameIsString = name.isName;
        r.name = name.name;
        r.id = name.id;
        r.language = language.id;
        r.data.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(data),
                      bytes_.begin() + static_cast<std::ptrdiff_t>(data + size));
        out.push_back(std::move(r));
      }
    }
  }
  return out;
}

}  // namespace pe
