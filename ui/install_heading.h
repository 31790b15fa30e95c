// The install page's upper part: where the whole installation stands. The
// four steps in their order, the one under way marked and the earlier ones
// checked, and a line under the current one saying where it is.
#pragma once

#include <string>

#include "engine/ports.h"

namespace pravonell::ui {

inline constexpr const wchar_t* kInstallSteps[] = {
    L"Baixar o sistema, o banco de dados e as ferramentas",
    L"Descompactar os arquivos na pasta de instalação",
    L"Instalar o Firebird 5.0 e o ACBrNFeMonitor, se faltarem",
    L"Criar o atalho e gravar os dados do cliente",
};

struct InstallHeading {
  bool started = false;  // a run has begun since the page was shown
  bool stopped = false;  // and ended without finishing the installation
  int current = 0;       // the step under way, 0 to 3; 4 when all are done
  std::wstring detail;   // "Arquivo 3 de 11", a setup's name, or ""

  bool operator==(const InstallHeading&) const = default;

  // What the run says, applied to this state.
  InstallHeading With(InstallStep step, const std::wstring& where) const;
  InstallHeading Stopped() const;

  std::wstring Title() const;
  std::wstring Intro() const;
  // The whole heading as plain text, a line each: the title, the intro and
  // the steps ("[x] " done, "[>] " under way with its detail, "[ ] " to
  // come). It is the install page's own window text, which the tests read.
  std::wstring Text() const;
};

}  // namespace pravonell::ui
