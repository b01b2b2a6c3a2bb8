// The built plug-in file as Windows and the host see it, read back byte by byte: a 64-bit DLL that
// exports EntryPoint alone, imports only system libraries, and carries the registration resource that
// BuildPiPL() makes. Runs on Windows (or Wine) and on the build machine alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "minihost/pipl_reader.h"
#include "pe_image.h"
#include "plugin/pipl.h"

namespace {

// The file under test: $PALETTRIX_PLUGIN_FILE, else the one this program was built beside.
std::string PluginPath() {
  if (const char* path = std::getenv("PALETTRIX_PLUGIN_FILE"); path != nullptr && *path != '\0') return path;
#ifdef PALETTRIX_PLUGIN_FILE
  return PALETTRIX_PLUGIN_FILE;
#else
  return "";
#endif
}

class PluginFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string path = PluginPath();
    ASSERT_FALSE(path.empty()) << "set PALETTRIX_PLUGIN_FILE to the Palettrix.aex to check";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "cannot open " << path;
    image_ = new pe::Image(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}));
  }
  static void TearDownTestSuite() {
    delete image_;
    image_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(image_, nullptr); }

  static pe::Image* image_;
};

pe::Image* PluginFile::image_ = nullptr;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

TEST_F(PluginFile, IsA64BitDllThatExportsOnlyEntryPoint) {
  EXPECT_EQ(image_->machine(), 0x8664);
  EXPECT_TRUE(image_->isDll());
  EXPECT_EQ(image_->exportedFunctionCount(), 1u);
  const std::vector<pe::Export> exports = image_->exports();
  ASSERT_EQ(exports.size(), 1u);
  // No decoration (no leading underscore, no @n suffix): the host looks the name up exactly as given.
  EXPECT_EQ(exports[0].name, "EntryPoint");
  EXPECT_TRUE(image_->isCode(exports[0].rva)) << "the export is not in executable code";
}

TEST_F(PluginFile, ImportsOnlyLibrariesEveryWindowsHas) {
  // Anything else (the compiler's runtime DLLs above all) would be missing on a user's machine.
  const std::vector<std::string> system = {"kernel32.dll", "msvcrt.dll",   "ucrtbase.dll",
                                           "user32.dll",   "comdlg32.dll", "gdi32.dll",
                                           "advapi32.dll", "shell32.dll",  "ole32.dll"};
  const std::vector<std::string> imports = image_->importedLibraries();
  EXPECT_FALSE(imports.empty());
  for (const std::string& library : imports) {
    const std::string name = Lower(library);
    const bool known = std::find(system.begin(), system.end(), name) != system.end() ||
                       name.rfind("api-ms-win-crt-", 0) == 0;
    EXPECT_TRUE(known) << library;
  }
  EXPECT_NE(std::find_if(imports.begin(), imports.end(),
                         [](const std::string& l) { return Lower(l) == "comdlg32.dll"; }),
            imports.end())
      << "the open-file dialog's library is not imported";
}

TEST_F(PluginFile, CarriesTheRegistrationResourceAsBuilt) {
  const std::vector<pe::Resource> resources = image_->resources();
  std::vector<const pe::Resource*> pipls;
  for (const pe::Resource& r : resources) {
    // Windows upper-cases the type name a program asks for and compares it exactly with the stored one,
    // so "PiPL" is found only when stored as "PIPL" (as resource compilers store it).
    if (r.typeIsName && r.typeName == u"PIPL") pipls.push_back(&r);
  }
  ASSERT_EQ(pipls.size(), 1u) << "resources: " << resources.size();
  const pe::Resource& pipl = *pipls[0];
  EXPECT_FALSE(pipl.nameIsString);
  EXPECT_EQ(pipl.id, 16000);
  EXPECT_EQ(pipl.language, 1033);
  EXPECT_EQ(pipl.data, BuildPiPL());

  const std::vector<minihost::PiPLProperty> properties =
      minihost::ParsePiPL(pipl.data.data(), pipl.data.size());
  EXPECT_EQ(minihost::EffectEntryName(properties), "EntryPoint");
}
