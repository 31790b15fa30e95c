// The configuration writer with the system's profile API, on real files.
#include "customer/config_writer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "engine/error.h"
#include "platform/win32/win_files.h"
#include "platform/win32/win_profile.h"
#include "tests/fakes/fake_customer_page.h"
#include "tests/wine/scratch.h"

namespace pravonell::testing {
namespace {


std::string Utf16Le(const std::wstring& text) {
  std::string bytes;
  for (wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>((c >> 8) & 0xFF);
  }
  return bytes;
}

class ConfigFile : public ::testing::Test {
 protected:
  ConfigFile() {
    page.texts[Field::CpfCnpj] = L"11.222.333/0001-81";
    page.texts[Field::NomeRazao] = L"ACME LTDA";
    page.texts[Field::Email] = L"fiscal@acme.com.br";
  }
  std::wstring Dir() const { return scratch.Path(L""); }
  std::wstring Ini() const { return scratch.Path(L"Quilmarde.ini"); }

  Scratch scratch;
  win32::Win32FileSystem files;
  win32::Win32ProfileWriter profile;
  FakeCustomerPage page;
  ConfigWriter writer{files, profile, page};
};

TEST_F(ConfigFile, ExistingKeyInAnotherCaseIsReplacedInPlace) {
  scratch.Write(L"Quilmarde.ini",
                "; vendor settings\r\n[GERAL]\r\nVersao=3\r\n[banco_dados]\r\ncnpjempresa=000\r\n"
                "Caminho=C:\\VARNISCA\\Dados\r\n[FIM]\r\nX=1\r\n");
  writer.GravarConfiguracao(Dir());
  const std::string text = ReadBytes(Ini());
  EXPECT_EQ(text.find("cnpjempresa=000"), std::string::npos);
  EXPECT_NE(text.find("cnpjempresa=11222333000181\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("NOMERAZAO=ACME LTDA"), std::string::npos) << text;
  EXPECT_NE(text.find("EMAIL=fiscal@acme.com.br"), std::string::npos) << text;
  EXPECT_EQ(text.find("[BANCO_DADOS]"), std::string::npos) << "a second section was added";
  // Other lines stay as they were, in their order.
  const auto geral = text.find("; vendor settings\r\n[GERAL]\r\nVersao=3\r\n[banco_dados]\r\n");
  EXPECT_EQ(geral, 0u) << text;
  EXPECT_NE(text.find("Caminho=C:\\VARNISCA\\Dados\r\n"), std::string::npos);
  EXPECT_NE(text.find("[FIM]\r\nX=1"), std::string::npos);
  EXPECT_LT(text.find("EMAIL="), text.find("[FIM]"));
}

TEST_F(ConfigFile, MissingSectionIsCreated) {
  scratch.Write(L"Quilmarde.ini", "[GERAL]\r\nVersao=3\r\n");
  writer.GravarConfiguracao(Dir());
  const std::string text = ReadBytes(Ini());
  EXPECT_EQ(text.find("[GERAL]\r\nVersao=3\r\n"), 0u) << text;
  const auto section = text.find("[BANCO_DADOS]");
  ASSERT_NE(section, std::string::npos) << text;
  const auto cnpj = text.find("CNPJEmpresa=11222333000181");
  const auto nome = text.find("NOMERAZAO=ACME LTDA");
  const auto email = text.find("EMAIL=fiscal@acme.com.br");
  EXPECT_LT(section, cnpj);
  EXPECT_LT(cnpj, nome);
  EXPECT_LT(nome, email);
  EXPECT_NE(email, std::string::npos);
}

TEST_F(ConfigFile, Utf16FileStaysUtf16) {
  scratch.Write(L"Quilmarde.ini", "\xFF\xFE" + Utf16Le(L"[BANCO_DADOS]\r\nEMAIL=old\r\n"));
  page.texts[Field::NomeRazao] = L"JOÃO & FILHOS";
  writer.GravarConfiguracao(Dir());
  const std::string text = ReadBytes(Ini());
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(0, 2), "\xFF\xFE");
  EXPECT_NE(text.find(Utf16Le(L"NOMERAZAO=JOÃO & FILHOS")), std::string::npos);
  EXPECT_NE(text.find(Utf16Le(L"EMAIL=fiscal@acme.com.br")), std::string::npos);
  EXPECT_EQ(text.find(Utf16Le(L"EMAIL=old")), std::string::npos);
}

TEST_F(ConfigFile, NoFileMeansNothingIsWritten) {
  writer.GravarConfiguracao(Dir());
  EXPECT_EQ(ReadBytes(Ini()), "<missing>");
}

TEST_F(ConfigFile, FolderNamedLikeTheFileIsNotAFile) {
  CreateDirectoryW(Ini().c_str(), nullptr);
  EXPECT_NO_THROW(writer.GravarConfiguracao(Dir()));
}

TEST_F(ConfigFile, ReadOnlyFileRaisesWithItsPathAndWritesNoMore) {
  const std::string original = "[BANCO_DADOS]\r\nCNPJEmpresa=1\r\nNOMERAZAO=OLD\r\nEMAIL=old\r\n";
  scratch.Write(L"Quilmarde.ini", original);
  SetFileAttributesW(Ini().c_str(), FILE_ATTRIBUTE_READONLY);
  try {
    writer.GravarConfiguracao(Dir());
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), L"Unable to write to " + Ini());
  }
  EXPECT_EQ(ReadBytes(Ini()), original);
  SetFileAttributesW(Ini().c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace pravonell::testing
