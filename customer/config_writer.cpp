#include "customer/config_writer.h"

#include "customer/tax_id.h"
#include "engine/error.h"
#include "engine/install_plan.h"

namespace pravonell {

namespace {

// Makes the profile writer write out its cached copy on every way out,
// a failed write included.
class FlushOnExit {
 public:
  FlushOnExit(ProfileWriter& profile, const std::wstring& path) : profile_(profile), path_(path) {}
  ~FlushOnExit() { profile_.Flush(path_); }
  FlushOnExit(const FlushOnExit&) = delete;
  FlushOnExit& operator=(const FlushOnExit&) = delete;

 private:
  ProfileWriter& profile_;
  const std::wstring& path_;
};

}  // namespace

void ConfigWriter::GravarConfiguracao(const std::wstring& dirSistema) {
  const std::wstring path = dirSistema + kConfigFile;
  if (!files_.FileExists(path)) return;

  FlushOnExit flush(profile_, path);
  const std::pair<const wchar_t*, std::wstring> keys[] = {
      {L"CNPJEmpresa", TaxIdOf(page_.Text(Field::CpfCnpj))},
      {L"NOMERAZAO", page_.Text(Field::NomeRazao)},
      {L"EMAIL", page_.Text(Field::Email)},
  };
  for (const auto& [key, value] : keys) {
    const std::uint32_t error = profile_.WriteString(L"BANCO_DADOS", key, value, path);
    // A full disk is said as every full disk of the run is: with the room to make.
    if (error == kErrorDiskFull || error == kErrorHandleDiskFull) {
      throw DiskFull(L"Unable to write to " + path, 0);
    }
    if (error != 0) throw Error(L"Unable to write to " + path);
  }
}

}  // namespace pravonell
