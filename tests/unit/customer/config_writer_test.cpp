#include "customer/config_writer.h"

#include <gtest/gtest.h>

#include "engine/error.h"
#include "tests/fakes/fake_customer_page.h"
#include "tests/fakes/run_fakes.h"
#include "tests/fakes/text.h"

namespace pravonell::testing {
namespace {

class RecordingProfile final : public ProfileWriter {
 public:
  Log log;
  std::string failingKey;
  std::uint32_t failure = 5;  // what the failing key answers

  std::uint32_t WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                            const std::wstring& path) override {
    log.push_back("write [" + Utf8(section) + "] " + Utf8(key) + "=" + Utf8(value) + " in " +
                  Utf8(path));
    return Utf8(key) != failingKey ? 0 : failure;
  }
  void Flush(const std::wstring& path) override { log.push_back("flush " + Utf8(path)); }
};

struct Fixture {
  explicit Fixture(bool fileExists) : files([&] {
    World world;
    if (fileExists) world.files = {L"C:\\VARNISCA\\Quilmarde.ini"};
    return world;
  }()) {
    page.texts[Field::CpfCnpj] = L"123.456.789-09";
    page.texts[Field::NomeRazao] = L" JOSE DA SILVA";
    page.texts[Field::Email] = L"jose@exemplo.com.br ";
  }
  FakeRunPorts files;
  RecordingProfile profile;
  FakeCustomerPage page;
  ConfigWriter writer{files, profile, page};
};

TEST(GravarConfiguracao, WritesTheThreeKeysInOrderThenFlushes) {
  Fixture f(true);
  f.writer.GravarConfiguracao(L"C:\\VARNISCA\\");
  const std::string ini = " in C:\\VARNISCA\\Quilmarde.ini";
  EXPECT_EQ(Lines(f.profile.log),
            Lines({"write [BANCO_DADOS] CNPJEmpresa=12345678909" + ini,
                   "write [BANCO_DADOS] NOMERAZAO= JOSE DA SILVA" + ini,
                   "write [BANCO_DADOS] EMAIL=jose@exemplo.com.br " + ini,
                   "flush C:\\VARNISCA\\Quilmarde.ini"}));
}

TEST(GravarConfiguracao, AlphanumericCnpjIsWrittenWhole) {
  Fixture f(true);
  f.page.texts[Field::CpfCnpj] = L"12.ABC.345/01DE-35";
  f.writer.GravarConfiguracao(L"C:\\VARNISCA\\");
  ASSERT_FALSE(f.profile.log.empty());
  EXPECT_EQ(f.profile.log[0],
            "write [BANCO_DADOS] CNPJEmpresa=12ABC34501DE35 in C:\\VARNISCA\\Quilmarde.ini");
}

TEST(GravarConfiguracao, MissingFileWritesNothing) {
  Fixture f(false);
  f.writer.GravarConfiguracao(L"C:\\VARNISCA\\");
  EXPECT_TRUE(f.profile.log.empty());
}

TEST(GravarConfiguracao, FailedWriteStopsTheLaterKeysAndStillFlushes) {
  Fixture f(true);
  f.profile.failingKey = "NOMERAZAO";
  try {
    f.writer.GravarConfiguracao(L"C:\\VARNISCA\\");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(Utf8(e.message()), "Unable to write to C:\\VARNISCA\\Quilmarde.ini");
  }
  ASSERT_EQ(f.profile.log.size(), 3u);
  EXPECT_EQ(f.profile.log[1].substr(0, 30), "write [BANCO_DADOS] NOMERAZAO=");
  EXPECT_EQ(f.profile.log[2], "flush C:\\VARNISCA\\Quilmarde.ini");

  // A full disk is a full disk, for the run to say so with the room to make.
  Fixture full(true);
  full.profile.failingKey = "CNPJEmpresa";
  full.profile.failure = 112;
  EXPECT_THROW(full.writer.GravarConfiguracao(L"C:\\VARNISCA\\"), DiskFull);
}

}  // namespace
}  // namespace pravonell::testing
