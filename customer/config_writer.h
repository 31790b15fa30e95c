// Writes the customer into the suite's configuration file "Quilmarde.ini".
#pragma once

#include "customer/customer_page.h"
#include "engine/ports.h"

namespace pravonell {

class ConfigWriter final : public CustomerConfig {
 public:
  ConfigWriter(FileSystem& files, ProfileWriter& profile, CustomerPage& page)
      : files_(files), profile_(profile), page_(page) {}

  // Sets the three customer keys of section "BANCO_DADOS" when the file
  // exists; raises Error "Unable to write to <path>" at the first key that
  // cannot be written, leaving the keys after it alone.
  void GravarConfiguracao(const std::wstring& dirSistema) override;

 private:
  FileSystem& files_;
  ProfileWriter& profile_;
  CustomerPage& page_;
};

}  // namespace pravonell
