// The file properties Windows shows for the program: the build's version
// and the vendor's names. The shipped release is checked too when the
// test run gives it (PRAVONELL_RELEASE_EXE).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fakes/text.h"
#include "tests/wine/site.h"

namespace pravonell::testing {
namespace {

std::wstring Widen(const char* text) { return WidenLatin1(text); }

TEST(VersionInfo, FilePropertiesShowTheBuildsVersion) {
  std::vector<std::wstring> programs = {WindowsPathOf(PRAVONELL_EXE)};
  if (!Env("PRAVONELL_RELEASE_EXE").empty()) programs.push_back(WindowsPathOf(Env("PRAVONELL_RELEASE_EXE")));
  for (const std::wstring& program : programs) {
    SCOPED_TRACE(Utf8(program));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(PRAVONELL_VERSION_MAJOR << 16 | PRAVONELL_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(PRAVONELL_VERSION_PATCH << 16));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    const std::pair<const wchar_t*, std::wstring> strings[] = {
        {L"FileVersion", Widen(PRAVONELL_VERSION_TEXT)},
        {L"ProductVersion", Widen(PRAVONELL_VERSION_TEXT)},
        {L"CompanyName", L"Varnisca"},
        {L"ProductName", L"Pravonell"},
        {L"FileDescription", L"Instalador do sistema Varnisca"},
        {L"OriginalFilename", L"pravonell.exe"},
    };
    for (const auto& [name, expected] : strings) {
      wchar_t* value = nullptr;
      const std::wstring key = std::wstring(L"\\StringFileInfo\\041604B0\\") + name;
      ASSERT_TRUE(VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
          << Utf8(name);
      EXPECT_EQ(std::wstring(value), expected) << Utf8(name);
    }
    wchar_t* copyright = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\041604B0\\LegalCopyright",
                               reinterpret_cast<void**>(&copyright), &length));
    EXPECT_NE(std::wstring(copyright).find(L"Varnisca"), std::wstring::npos);
  }
}

}  // namespace
}  // namespace pravonell::testing
