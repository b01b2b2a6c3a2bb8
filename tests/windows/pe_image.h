// A small reader of 64-bit Windows executable images (PE32+), enough to see a plug-in file the way the
// Windows loader and a host see it: its machine and kind, the names it exports, the libraries it
// imports, and its resources. Portable, so the cross-built file can be checked on the build machine too.
// Every offset and count read from the file is checked against the file's size before it is used.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pe {

class FormatError : public std::runtime_error {
 public:
  explicit FormatError(const std::string& what) : std::runtime_error(what) {}
};

struct Export {
  std::string name;
  uint32_t rva = 0;  // of the function
};

struct Resource {
  bool typeIsName = false;
  std::u16string typeName;  // when typeIsName, as stored
  uint16_t typeId = 0;      // otherwise
  bool nameIsString = false;
  std::u16string name;
  uint16_t id = 0;
  uint16_t language = 0;
  std::vector<uint8_t> data;
};

class Image {
 public:
  // Throws FormatError when the bytes are not a PE32+ image or any structure it relies on is damaged.
  explicit Image(std::vector<uint8_t> bytes);

  uint16_t machine() const { return machine_; }  // 0x8664 for x86-64
  bool isDll() const { return (characteristics_ & 0x2000) != 0; }
  // True when the RVA lies in a section the loader maps as executable code.
  bool isCode(uint32_t rva) const;

  std::vector<Export> exports() const;
  // Functions the export directory lists, named or not.
  uint32_t exportedFunctionCount() const;
  std::vector<std::string> importedLibraries() const;
  // Every resource: type, name and language levels of the resource tree, with its bytes.
  std::vector<Resource> resources() const;

 private:
  struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset, characteristics;
  };
  struct Directory {
    uint32_t rva = 0, size = 0;
  };

  uint32_t U32(uint64_t offset) const;
  uint16_t U16(uint64_t offset) const;
  void Need(uint64_t offset, uint64_t size, const char* what) const;
  // The file offset of `size` bytes at `rva`, all inside one section's data.
  uint64_t FileOffset(uint64_t rva, uint64_t size, const char* what) const;
  std::string AsciiAt(uint32_t rva, const char* what) const;
  std::u16string ResourceName(uint64_t rootOffset, uint32_t entryName) const;

  std::vector<uint8_t> bytes_;
  uint16_t machine_ = 0;
  uint16_t characteristics_ = 0;
  std::vector<Section> sections_;
  Directory exportDir_, importDir_, resourceDir_;
};

}  // namespace pe
