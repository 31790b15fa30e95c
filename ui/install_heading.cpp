#include "ui/install_heading.h"

namespace pravonell::ui {

InstallHeading InstallHeading::With(InstallStep step, const std::wstring& where) const {
  InstallHeading next;
  next.started = true;
  next.current = static_cast<int>(step);
  next.detail = step == InstallStep::Done ? L"" : where;
  return next;
}

InstallHeading InstallHeading::Stopped() const {
  InstallHeading next = *this;
  next.started = true;
  next.stopped = true;
  next.detail.clear();
  return next;
}

std::wstring InstallHeading::Title() const {
  if (!started) return L"Pronto para instalar";
  if (stopped) return L"A instalação não foi concluída.";
  if (current >= 4) return L"Instalação concluída";
  return L"Instalando o sistema…";
}

std::wstring InstallHeading::Intro() const {
  if (!started) {
    return L"Clique em INSTALAR. O instalador baixa os arquivos do sistema, instala o que faltar no "
           L"computador e cria o atalho na área de trabalho.";
  }
  if (stopped) return L"Clique em INSTALAR para tentar de novo.";
  return L"Aguarde: o instalador segue os passos abaixo até a mensagem de conclusão.";
}

std::wstring InstallHeading::Text() const {
  std::wstring text = Title() + L"\r\n" + Intro() + L"\r\n";
  for (int i = 0; i < 4; ++i) {
    const bool done = started && i < current;
    const bool now = started && !stopped && i == current;
    const bool halted = started && stopped && i == current;  // where the run stopped
    text += done ? L"[x] " : (now || halted) ? L"[>] " : L"[ ] ";
    text += kInstallSteps[i];
    if (now && !detail.empty()) text += L" — " + detail;
    text += L"\r\n";
  }
  return text;
}

}  // namespace pravonell::ui
