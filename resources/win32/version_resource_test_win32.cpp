// What Explorer's Properties -> Details shows for each shipped program: the
// version resource read through the version API, the language taken from the
// Translation entry as Explorer takes it. And the icon it picks a size from.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/wide_text_win32.h"
#include "resources/win32/resource.h"

namespace inkbinder {
namespace {

struct Details {
  bool found = false;
  std::string file_version;  // from the fixed part, as a.b.c.d
  std::string product_version_fixed;
  std::string strings_block;  // e.g. "080404b0"
  std::string product_name, file_description, product_version, string_file_version,
      original_filename;
};

std::string Dotted(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
         std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

Details ReadDetails(const std::string& program) {
  Details d;
  const std::wstring path = Utf8ToWide(program);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return d;
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return d;

  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return d;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  d.file_version = Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  d.product_version_fixed = Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);

  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
      length < 4) {
    return d;
  }
  const auto* translation = static_cast<const WORD*>(value);
  char block[9];
  snprintf(block, sizeof block, "%04x%04x", translation[0], translation[1]);
  d.strings_block = block;
  const auto text = [&](const wchar_t* name) -> std::string {
    const std::wstring key = L"\\StringFileInfo\\" + Utf8ToWide(block) + L"\\" + name;
    void* v = nullptr;
    UINT n = 0;
    if (!VerQueryValueW(data.data(), key.c_str(), &v, &n) || n == 0) return "(missing)";
    return WideToUtf8(std::wstring(static_cast<const wchar_t*>(v), n - 1));  // n counts the NUL
  };
  d.product_name = text(L"ProductName");
  d.file_description = text(L"FileDescription");
  d.product_version = text(L"ProductVersion");
  d.string_file_version = text(L"FileVersion");
  d.original_filename = text(L"OriginalFilename");
  d.found = true;
  return d;
}

TEST(VersionResource, EveryShippedProgramShowsTheProjectVersionInChinese) {
  const char* bin = std::getenv("INKBINDER_BIN");
  ASSERT_NE(bin, nullptr);
  const std::string numeric = INKBINDER_EXPECTED_VERSION ".0";
  const struct {
    const char* file;
    const char* description;
  } programs[] = {
      {"inkbinder.exe", "Inkbinder 帮助文件生成工具"},
      {"inkbinder-cli.exe", "Inkbinder 帮助文件生成工具（命令行）"},
  };
  for (const auto& p : programs) {
    SCOPED_TRACE(p.file);
    const Details d = ReadDetails(std::string(bin) + "/" + p.file);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.strings_block, "080404b0");
    EXPECT_EQ(d.file_version, numeric);
    EXPECT_EQ(d.product_version_fixed, numeric);
    EXPECT_EQ(d.product_version, INKBINDER_EXPECTED_VERSION);
    EXPECT_EQ(d.string_file_version, INKBINDER_EXPECTED_VERSION);
    EXPECT_EQ(d.product_name, "Inkbinder");
    EXPECT_EQ(d.file_description, p.description);
    EXPECT_EQ(d.original_filename, p.file);
  }
}

// The sizes in the program's Chinese icon group, as Explorer and the task bar
// choose from them (0 in the one-byte width stands for 256); each with its
// image, in 32-bit colour.
std::vector<int> IconSizes(const std::string& program) {
  std::vector<int> sizes;
  const HMODULE module = LoadLibraryExW(Utf8ToWide(program).c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return sizes;
  const HRSRC group = FindResourceExA(module, RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_INKBINDER),
                                      MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
  const auto* bytes = group ? static_cast<const BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
  // GRPICONDIR: reserved, type, count; then 14-byte entries: width, height,
  // colours, reserved, planes, bits, size of the image, its RT_ICON id.
  constexpr size_t kHeader = 6, kEntry = 14;
  if (bytes != nullptr && SizeofResource(module, group) >= kHeader) {
    const WORD count = static_cast<WORD>(bytes[4] | bytes[5] << 8);
    if (SizeofResource(module, group) >= kHeader + count * kEntry) {
      for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = bytes + kHeader + i * kEntry;
        const WORD bits = static_cast<WORD>(entry[6] | entry[7] << 8);
        const WORD id = static_cast<WORD>(entry[12] | entry[13] << 8);
        const HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(id), RT_ICON);
        if (bits == 32 && image != nullptr && SizeofResource(module, image) > 0) {
          sizes.push_back(entry[0] == 0 ? 256 : entry[0]);
        }
      }
    }
  }
  FreeLibrary(module);
  return sizes;
}

TEST(IconResource, EveryShippedProgramCarriesTheIconInEverySize) {
  const char* bin = std::getenv("INKBINDER_BIN");
  ASSERT_NE(bin, nullptr);
  for (const char* program : {"inkbinder.exe", "inkbinder-cli.exe"}) {
    SCOPED_TRACE(program);
    EXPECT_EQ(IconSizes(std::string(bin) + "/" + program),
              (std::vector<int>{16, 32, 48, 64, 128, 256}));
  }
}

}  // namespace
}  // namespace inkbinder
