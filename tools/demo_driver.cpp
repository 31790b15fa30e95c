// Walks the installer's wizard for the demo when there is no display to
// use: fills in a customer, starts the installation, prints each step the
// window shows as it happens, saves screenshots and answers the final
// message. Runs under Wine beside pravonell.exe.
//   demo_driver.exe PRAVONELL_EXE
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/wine/driver.h"

using namespace pravonell::testing;
using namespace pravonell::ui;

namespace {

void Say(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  std::printf("[demo] %s\n", bytes.c_str());
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo_driver.exe PRAVONELL_EXE\n");
    return 2;
  }
  Driver app;
  if (!app.Start(argv[1])) {
    Say(L"o instalador não abriu a janela");
    return 1;
  }
  Say(L"janela aberta: termos de serviço na frente");
  app.Screenshot(L"1-termos");

  app.Press(app.Control(kBitBtn1));
  WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); });
  Say(L"AVANÇAR: página de dados do cliente");
  app.Type(app.Control(kEdCPFCNPJ), L"11222333000181");
  app.Type(app.Control(kEdNomeRazao), L"comércio exemplo ltda");
  app.Type(app.Control(kEdEmail), L"fiscal@exemplo.com.br");
  app.ClickInto(app.Control(kEdDirInstalacao));
  Say(L"cliente: CNPJ " + app.Text(app.Control(kEdCPFCNPJ)) + L", " + app.Text(app.Control(kEdNomeRazao)) +
      L", " + app.Text(app.Control(kEdEmail)) + L"; pasta " + app.Text(app.Control(kEdDirInstalacao)));
  app.Screenshot(L"2-cadastro");

  app.Press(app.Control(kBitBtn3));
  if (!WaitFor([&] { return app.FrontPage() == app.Control(kSbInstall); }, 10000)) {
    if (HWND box = app.OpenDialog()) Say(L"GRAVAR recusou: " + app.DialogText(box));
    return 1;
  }
  Say(L"GRAVAR: página de instalação");
  app.Screenshot(L"3-instalacao");

  PostMessageW(app.Control(kImage2), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  PostMessageW(app.Control(kImage2), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  Say(L"INSTALAR");

  // What the window shows, as it changes; the percentages only in steps.
  std::wstring module, status;
  int lastTenth = -1;
  bool shotDownload = false;
  HWND box = nullptr;
  WaitFor(
      [&] {
        if (!app.Running()) return true;
        const std::wstring nowModule = Driver::WindowText(app.Control(kLblModulo));
        const std::wstring nowStatus = Driver::WindowText(app.Control(kLblStatus));
        if (nowModule != module) {
          module = nowModule;
          lastTenth = -1;
          if (!module.empty()) Say(module);
        }
        if (nowStatus != status) {
          status = nowStatus;
          if (status.rfind(L"Download ... ", 0) == 0 && status.back() == L'%') {
            const int percent = _wtoi(status.c_str() + 13);
            if (percent / 25 != lastTenth) {
              lastTenth = percent / 25;
              Say(L"  " + status);
            }
            if (!shotDownload && percent >= 40 && module == L"Baixando Banco de Dados") {
              shotDownload = true;
              app.Screenshot(L"4-baixando");
            }
          } else if (!status.empty() && status.rfind(L"Download", 0) != 0) {
            Say(L"  " + status);
          }
        }
        return (box = app.OpenDialog()) != nullptr;
      },
      600000, 10);
  if (box == nullptr) {
    Say(app.Running() ? L"nenhuma mensagem em dez minutos" : L"o instalador terminou sem mensagem");
    return 1;
  }
  Say(L"mensagem: " + app.DialogText(box));
  app.Answer(box, IDOK);
  const long code = app.WaitForExit();
  Say(L"o instalador terminou (código " + std::to_wstring(code) + L")");
  return code == 0 ? 0 : 1;
}
