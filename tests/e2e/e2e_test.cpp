// Whole installations under Wine: the real pravonell.exe, driven through its
// window from the first page to the end, against the stand-in vendor (the
// loopback test server serving the sample suite). Each scenario runs in a
// fresh Wine prefix of its own (tests/e2e/run-scenario makes it).
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wincred.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>

#include "tests/fakes/text.h"
#include "tests/standins/unix_command.h"
#include "tests/wine/driver.h"
#include "tests/wine/files.h"
#include "tests/wine/shortcut_reader.h"
#include "tests/wine/site.h"

namespace pravonell::testing {
namespace {

using namespace ui;

const std::wstring kDir = L"C:\\VARNISCA\\";
const std::wstring kWinrar = L"C:\\Program Files\\WinRAR\\Winrar.exe";
const std::wstring kFirebirdPresence = L"C:\\Program Files\\Firebird\\Firebird_5_0\\WOW64\\fbclient.dll";
const std::wstring kAcbrPresence = L"C:\\ACBrNFeMonitor\\ACBrNFeMonitor.exe";
const wchar_t* const kArchives[] = {L"Kestrimo.rar", L"Polvarin.rar",   L"Thandrel.rar",
                                    L"Wembrisco.rar", L"Dados.rar",      L"Relatorios.rar",
                                    L"DLL.rar",      L"Eletronicos.rar", L"Ferramentas.rar"};


std::wstring StandIn(const wchar_t* name) {
  return WindowsPathOf(Env("PRAVONELL_STANDIN_DIR")) + L"\\" + name;
}

std::wstring Served(const wchar_t* relative) { return SiteRoot() + L"\\uploads\\download\\file\\" + relative; }

// Removes every answer a scenario changed, so the site serves the suite as made.
void ResetSite(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ResetSite(folder + L"\\" + name);
    } else if (name.size() > 6 && name.substr(name.size() - 6) == L".reply") {
      DeleteFileW((folder + L"\\" + name).c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

class Installation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("PRAVONELL_SITE_LOG").empty()) << "run through tests/e2e/run-scenario";
    ResetSite(SiteRoot() + L"\\uploads");
    WriteSiteFile(L"users\\sign_in.reply", "status 302 Found\n");
    logStart_ = ReadBytes(WindowsPathOf(Env("PRAVONELL_SITE_LOG"))).size();
    CreateDirectoryW(L"C:\\standin", nullptr);
    ASSERT_TRUE(CopyFileW(StandIn(L"archiver-standin.exe").c_str(), L"C:\\standin\\archiver.exe", FALSE));
    Setups(WorkingSetups());
  }

  // The setups do what the real ones would: WinRAR puts the archiver in
  // place, the others leave the file whose presence the installer tests.
  static std::string WorkingSetups(const std::string& firebirdExtra = "") {
    return "[Winrar.exe]\r\ncopy1=C:\\standin\\archiver.exe|" + Utf8(kWinrar) +
           "\r\n[Firebird50-64.exe]\r\ncreate1=" + Utf8(kFirebirdPresence) + "\r\n" + firebirdExtra +
           "[ACBRMonitor.exe]\r\ncreate1=" + Utf8(kAcbrPresence) + "\r\n";
  }

  // The window answers a message within a second every time it is asked,
  // and paints what was invalidated.
  void ExpectTheWindowAlive() {
    for (int i = 0; i < 4; ++i) {
      DWORD_PTR result = 0;
      EXPECT_NE(SendMessageTimeoutW(app().window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result), 0)
          << "no answer to ask " << i;
    }
    InvalidateRect(app().window(), nullptr, FALSE);
    EXPECT_TRUE(WaitFor([&] { return !GetUpdateRect(app().window(), nullptr, FALSE); }, 5000)) << "no repaint";
  }

  static std::string SetupsDone() { return Exists(L"C:\\standin\\setups-done.log") ? ReadBytes(L"C:\\standin\\setups-done.log") : ""; }

  void TearDown() override {
    ResetSite(SiteRoot() + L"\\uploads");
    WriteSiteFile(L"users\\sign_in.reply", "status 302 Found\n");
  }

  static void Setups(const std::string& ini) { WriteWithFolders(L"C:\\standin\\setups.ini", ini); }
  static void WinrarAlreadyInstalled() { WriteWithFolders(kWinrar, ReadBytes(StandIn(L"archiver-standin.exe"))); }

  // The vendor publishes again after a served file changed: a new list with
  // the next serial, signed with the given key (the vendor's by default).
  // brokenOnPurpose: a served archive does not unpack, and is listed all
  // the same.
  static void Publish(const std::string& key = "", bool brokenOnPurpose = false) {
    std::string output;
    ASSERT_EQ(standin::RunUnixCommand(std::string(brokenOnPurpose ? "PUBLISH_BROKEN_ON_PURPOSE=1 " : "") +
                                          Env("PRAVONELL_PUBLISH") + " " +
                                          standin::ShellQuote(Env("PRAVONELL_SITE_ROOT")) +
                                          (key.empty() ? "" : " " + standin::ShellQuote(key)),
                                      &output),
              0)
        << output;
  }

  // The request lines the server received during this scenario.
  std::vector<std::string> Requests() const {
    std::vector<std::string> lines;
    std::istringstream log(ReadBytes(WindowsPathOf(Env("PRAVONELL_SITE_LOG"))).substr(logStart_));
    std::string line;
    while (std::getline(log, line)) lines.push_back(line);
    return lines;
  }

  static std::vector<std::string> SetupsRun() {
    std::vector<std::string> lines;
    if (!Exists(L"C:\\standin\\setups.log")) return lines;
    std::istringstream log(ReadBytes(L"C:\\standin\\setups.log"));
    std::string line;
    while (std::getline(log, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  // Starts the program (again, if it ran before) and fills the wizard up to
  // the install page.
  void WalkToInstallPage(const std::wstring& cpfCnpj = L"11222333000181",
                         const std::wstring& directory = L"C:\\VARNISCA\\",
                         const std::wstring& exe = ProgramUnderTest(PRAVONELL_EXE)) {
    started_ = std::make_unique<Driver>();
    ASSERT_TRUE(app().Start(exe));
    app().Press(app().Control(kBitBtn1));
    ASSERT_TRUE(WaitFor([&] { return app().FrontPage() == app().Control(kSbCadastro); }));
    app().Type(app().Control(kEdCPFCNPJ), cpfCnpj);
    app().Type(app().Control(kEdNomeRazao), L"comércio acme ltda");
    app().Type(app().Control(kEdEmail), L"fiscal@acme.com.br");
    app().SetText(app().Control(kEdDirInstalacao), directory);
    app().Press(app().Control(kBitBtn3));
    ASSERT_TRUE(WaitFor([&] { return app().FrontPage() == app().Control(kSbInstall); }));
  }

  void ClickInstall() {
    PostMessageW(app().Control(kImage2), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(app().Control(kImage2), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  }

  // Waits for the run's message box and answers it; its text, "" if none came.
  std::wstring AnswerMessage(DWORD timeoutMs = 120000, bool error = false) {
    const HWND box = app().WaitForDialog(timeoutMs);
    if (box == nullptr) return L"";
    const std::wstring text = app().DialogText(box);
    EXPECT_EQ(app().DialogShowsIcon(box), error) << Utf8(text);
    app().Answer(box, IDOK);
    return text;
  }

  void ExpectStillOnTheInstallPage() {
    EXPECT_TRUE(app().Running());
    EXPECT_EQ(app().FrontPage(), app().Control(kSbInstall));
    EXPECT_TRUE(IsWindowVisible(app().Control(kPbProgresso)));
  }

  void CloseAndExpectExit() {
    PostMessageW(app().window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app().WaitForExit(), 0);
  }

  Driver& app() { return *started_; }
  std::unique_ptr<Driver> started_;
  std::size_t logStart_ = 0;
};

const char* const kPlanRequests[] = {
    "GET /uploads/download/file/73/quilmarde.ini HTTP/1.1",
    "GET /uploads/download/file/59/Kestrimo.7z HTTP/1.1",
    "GET /uploads/download/file/22/Polvarin.7z HTTP/1.1",
    "GET /uploads/download/file/23/Thandrel.7z HTTP/1.1",
    "GET /uploads/download/file/21/Wembrisco.7z HTTP/1.1",
    "GET /uploads/download/file/66/DADOS.7z HTTP/1.1",
    "GET /uploads/download/file/50/Relatorios.7z HTTP/1.1",
    "GET /uploads/download/file/75/DLL.rar HTTP/1.1",
    "GET /uploads/download/file/61/Eletronicos.7z HTTP/1.1",
    "GET /uploads/download/file/7/Ferramentas.7z HTTP/1.1",
    "GET /uploads/download/file/91/fbclient.dll HTTP/1.1",
};
const char* const kProbe = "GET /users/sign_in HTTP/1.1";
const char* const kList = "GET /uploads/download/pravonell.lista HTTP/1.1";
// Where a file waits until it is proven to be the vendor's.
std::wstring Unproven(const std::wstring& name) { return kDir + name + L".baixando"; }
const std::wstring kMark = L"INSTALACAO-INCOMPLETA.txt";
const wchar_t* const kSuccess = L"Sistema instalado com sucesso. Atalhos foram criados na área de trabalho.";
const wchar_t* const kPrevious = L"Já existe uma instalação anterior do sistema neste computador!";

TEST_F(Installation, FullSuccessOnAFreshPcThenASecondRunStops) {
  ASSERT_FALSE(Exists(kWinrar));
  WalkToInstallPage();
  EXPECT_TRUE(app().Screenshot(L"4-antes-de-instalar"));
  ClickInstall();
  // The title bar repeats the progress while the files come in.
  bool sawProgress = false;
  WaitFor([&] {
    wchar_t caption[128] = {};
    GetWindowTextW(app().window(), caption, 128);
    if (std::wstring(caption).rfind(L"Download ... ", 0) == 0 && !sawProgress) {
      sawProgress = true;
      EXPECT_TRUE(app().Screenshot(L"5-baixando"));
    }
    return app().OpenDialog() != nullptr;
  }, 180000);
  EXPECT_TRUE(sawProgress);
  EXPECT_EQ(AnswerMessage(), L"Sistema instalado com sucesso. Atalhos foram criados na área de trabalho.");
  EXPECT_EQ(app().WaitForExit(), 0);

  std::vector<std::string> expected = {kProbe, kList, "GET /uploads/download/file/72/winrar-x64-601br.exe HTTP/1.1",
                                       kProbe};
  expected.insert(expected.end(), std::begin(kPlanRequests), std::end(kPlanRequests));
  expected.insert(expected.end(), {kProbe, kProbe});
  EXPECT_EQ(Lines(Requests()), Lines(expected));
  EXPECT_EQ(Lines(SetupsRun()), Lines({"C:\\VARNISCA\\Winrar.exe",
                                       "C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe",
                                       "C:\\VARNISCA\\Ferramentas\\ACBRMonitor.exe"}));

  for (const wchar_t* file : {L"Quilmarde.ini", L"fbclient.dll", L"Winrar.exe", L"Kestrimo.exe", L"Polvarin.exe",
                              L"Thandrel.exe", L"Wembrisco.exe", L"Dados\\VARNISCA.FDB", L"Relatorios\\Vendas.fr3",
                              L"DLL\\libeay32.dll", L"Eletronicos\\Schemas\\nfe_v4.00.xsd",
                              L"Ferramentas\\Firebird\\Firebird50-64.exe", L"Ferramentas\\ACBRMonitor.exe"}) {
    EXPECT_TRUE(Exists(kDir + file)) << Utf8(file);
  }
  for (const wchar_t* archive : kArchives) EXPECT_FALSE(Exists(kDir + archive)) << Utf8(archive);
  EXPECT_FALSE(Exists(kDir + L"LEIAME.txt"));
  EXPECT_TRUE(ReadBytes(kDir + L"fbclient.dll") == ReadBytes(Served(L"91\\fbclient.dll")));
  EXPECT_TRUE(Exists(kFirebirdPresence));
  EXPECT_TRUE(Exists(kAcbrPresence));
  EXPECT_FALSE(Exists(kDir + kMark));  // a finished installation

  const std::string ini = ReadBytes(kDir + L"Quilmarde.ini");
  EXPECT_EQ(ini.rfind("[GERAL]\r\nVersao=2026.12\r\n[BANCO_DADOS]\r\nCaminho=C:\\VARNISCA\\Dados\\VARNISCA.FDB\r\n", 0),
            0u) << ini;
  EXPECT_NE(ini.find("CNPJEmpresa=11222333000181\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("EMAIL=fiscal@acme.com.br"), std::string::npos) << ini;
  EXPECT_NE(ini.find("NOMERAZAO=COM"), std::string::npos) << ini;

  // The shortcut on this user's desktop.
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)));
  const std::wstring lnk = std::wstring(desktop) + L"\\Polvarin.lnk";
  ASSERT_TRUE(Exists(lnk));
  CoInitialize(nullptr);
  const ShortcutFields fields = ReadShortcut(lnk);
  EXPECT_TRUE(fields.loaded);
  EXPECT_EQ(fields.target, L"C:\\VARNISCA\\Polvarin.exe");
  EXPECT_EQ(fields.description, L"Varnisca Polvarin");

  // A second run into the same folder stops at the previous installation.
  WalkToInstallPage();
  const std::size_t before = Requests().size();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(20000), L"Já existe uma instalação anterior do sistema neste computador!");
  EXPECT_EQ(app().WaitForExit(), 0);
  EXPECT_EQ(Requests().size(), before);  // nothing probed or fetched
}

TEST_F(Installation, UnreachableSiteStopsSilently) {
  WriteSiteFile(L"users\\sign_in.reply", "status 503 Service Unavailable\n");
  WalkToInstallPage();
  ClickInstall();
  // WinRAR is missing: one probe for its setup, one at the gate; then nothing.
  ASSERT_TRUE(WaitFor([&] { return app().Counter(kRunsFinished) == 1; }));
  EXPECT_EQ(Lines(Requests()), Lines({kProbe, kProbe}));
  EXPECT_EQ(app().OpenDialog(), nullptr);
  ExpectStillOnTheInstallPage();
  EXPECT_FALSE(IsWindowVisible(app().Control(kLblModulo)));
  EXPECT_FALSE(Exists(kDir + L"Winrar.exe"));
  EXPECT_FALSE(Exists(kDir + L"Quilmarde.ini"));
  CloseAndExpectExit();
}

// Windows on which a live region was announced (EVENT_OBJECT_LIVEREGIONCHANGED).
std::vector<HWND> gAnnounced;

void CALLBACK OnLiveRegion(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) {
  gAnnounced.push_back(window);
}

// A person with a keyboard alone: keys sent to the control that has the
// focus lead from the terms (Alt+A) through typing, Tab and Enter (GRAVAR,
// the page's default button) to the install tile, where Enter starts the
// run. The WinRAR setup is not on the server: the run says so and stops,
// and a screen reader heard the module label change on the way.
TEST_F(Installation, KeyboardAloneLeadsFromTheTermsToAStartedRun) {
  WriteSiteFile(L"uploads\\download\\file\\72\\winrar-x64-601br.exe.reply", "status 404 Not Found\n");
  started_ = std::make_unique<Driver>();
  ASSERT_TRUE(app().Start(ProgramUnderTest(PRAVONELL_EXE)));
  ASSERT_TRUE(WaitFor([&] { return app().Focus() == app().Control(kMemo1); }));
  app().PostAltKey(L'A');
  ASSERT_TRUE(WaitFor([&] { return app().FrontPage() == app().Control(kSbCadastro); }));
  ASSERT_TRUE(WaitFor([&] { return app().Focus() == app().Control(kEdCPFCNPJ); }));
  app().PostChars(L"11222333000181");
  app().PostKey(VK_TAB);
  ASSERT_TRUE(WaitFor([&] { return app().Focus() == app().Control(kEdNomeRazao); }));
  app().PostChars(L"comércio acme ltda");
  app().PostKey(VK_TAB);
  ASSERT_TRUE(WaitFor([&] { return app().Focus() == app().Control(kEdEmail); }));
  app().PostChars(L"fiscal@acme.com.br");
  app().PostKey(VK_RETURN);
  ASSERT_TRUE(WaitFor([&] { return app().FrontPage() == app().Control(kSbInstall); }));
  EXPECT_EQ(app().Text(app().Control(kEdCPFCNPJ)), L"11.222.333/0001-81");
  EXPECT_EQ(app().Text(app().Control(kEdNomeRazao)), L"COMÉRCIO ACME LTDA");
  ASSERT_TRUE(WaitFor([&] { return app().Focus() == app().Control(kImage2); }));

  DWORD process = 0;
  GetWindowThreadProcessId(app().window(), &process);
  constexpr DWORD kLiveRegionChanged = 0x8019;
  const HWINEVENTHOOK hook = SetWinEventHook(kLiveRegionChanged, kLiveRegionChanged, nullptr, OnLiveRegion, process,
                                             0, WINEVENT_OUTOFCONTEXT);
  EXPECT_NE(hook, nullptr);
  gAnnounced.clear();
  app().PostKey(VK_RETURN);
  EXPECT_EQ(AnswerMessage(60000, /*error=*/true), L"HTTP/1.1 404 Not Found.");
  ASSERT_TRUE(WaitFor([&] { return app().Counter(kRunsFinished) == 1; }));
  EXPECT_EQ(Lines(Requests()), Lines({kProbe, kList, "GET /uploads/download/file/72/winrar-x64-601br.exe HTTP/1.1"}));
  // The hook's calls come through this thread's messages.
  const HWND module = app().Control(kLblModulo);
  EXPECT_TRUE(WaitFor([&] {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    return std::find(gAnnounced.begin(), gAnnounced.end(), module) != gAnnounced.end();
  }, 10000)) << "the module label's change was not announced";
  if (hook != nullptr) UnhookWinEvent(hook);
  ExpectStillOnTheInstallPage();
  CloseAndExpectExit();
}

// A page can leave DLLs named like system ones in the browser's Downloads
// folder, beside the installer. Wine is told to prefer such DLLs to its own,
// so one found through the ordinary search beside the exe would be loaded
// and leave its mark.
TEST_F(Installation, DllsPlantedBesideTheProgramAreNeverLoaded) {
  const std::wstring downloads = L"C:\\Downloads\\";
  const wchar_t* const planted[] = {L"wininet.dll", L"uxtheme.dll", L"msimg32.dll"};
  WriteWithFolders(downloads + L"pravonell.exe", ReadBytes(WindowsPathOf(PRAVONELL_EXE)));
  HKEY overrides;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\pravonell.exe\\DllOverrides", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &overrides, nullptr),
            ERROR_SUCCESS);
  for (const wchar_t* name : planted) {
    WriteWithFolders(downloads + name, ReadBytes(StandIn(L"planted.dll")));
    const std::wstring dll = std::wstring(name).substr(0, std::wstring(name).find(L'.'));
    const wchar_t order[] = L"native,builtin";
    RegSetValueExW(overrides, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order);
  }
  RegCloseKey(overrides);
  WriteSiteFile(L"users\\sign_in.reply", "status 503 Service Unavailable\n");

  WalkToInstallPage(L"11222333000181", L"C:\\VARNISCA\\", downloads + L"pravonell.exe");
  // Drawn with the theme and the blending functions, from the system's DLLs.
  EXPECT_TRUE(app().Screenshot(L"9-dlls-plantadas"));
  ClickInstall();
  // The probe went out through WinINet, and the run stopped at the gate.
  ASSERT_TRUE(WaitFor([&] { return app().Counter(kRunsFinished) == 1; }));
  EXPECT_EQ(Lines(Requests()), Lines({kProbe, kProbe}));
  for (const wchar_t* name : planted) {
    EXPECT_FALSE(Exists(std::wstring(L"C:\\standin\\planted\\") + name)) << Utf8(name) << " was loaded";
  }
  CloseAndExpectExit();
}

TEST_F(Installation, NotFoundOnOneRowShowsTheErrorAndKeepsTheEarlierFiles) {
  WinrarAlreadyInstalled();
  WriteSiteFile(L"uploads\\download\\file\\66\\DADOS.7z.reply", "status 404 Not Found\n");
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(60000, /*error=*/true), L"HTTP/1.1 404 Not Found.");
  ExpectStillOnTheInstallPage();
  // The error's body was a transfer too; after it the title is the window's own.
  EXPECT_EQ(Driver::WindowText(app().window()), L"Pravonell");
  EXPECT_EQ(app().Text(app().Control(kLblModulo)), L"Baixando Banco de Dados");
  EXPECT_TRUE(ReadBytes(kDir + L"Kestrimo.rar") == ReadBytes(Served(L"59\\Kestrimo.7z")));
  EXPECT_TRUE(ReadBytes(kDir + L"Wembrisco.rar") == ReadBytes(Served(L"21\\Wembrisco.7z")));
  EXPECT_FALSE(Exists(kDir + L"Dados.rar"));  // never under its name unless proven
  EXPECT_EQ(ReadBytes(Unproven(L"Dados.rar")), "");
  EXPECT_FALSE(Exists(kDir + L"Relatorios.rar"));
  EXPECT_FALSE(Exists(kDir + L"Kestrimo.exe"));  // nothing extracted
  CloseAndExpectExit();
}

// A server that cuts every transfer of a file: the transfer is resumed three
// times (from the start, since this server answers no ranges), then the run
// stops with the error.
TEST_F(Installation, ArchiveCutShortStopsTheRun) {
  WinrarAlreadyInstalled();
  WriteSiteFile(L"uploads\\download\\file\\22\\Polvarin.7z.reply", "cut half\n");
  WalkToInstallPage();
  ClickInstall();
  EXPECT_TRUE(WaitFor([&] {
    return Driver::WindowText(app().Control(kLblStatus)) == L"Conexão interrompida. Retomando o download... (1 de 3)";
  }, 60000));
  EXPECT_EQ(AnswerMessage(60000, /*error=*/true), L"Connection Closed Gracefully.");
  const std::vector<std::string> requests = Requests();
  EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                          [](const std::string& line) {
                            return line.rfind("GET /uploads/download/file/22/Polvarin.7z HTTP/1.1", 0) == 0;
                          }),
            4);
  ExpectStillOnTheInstallPage();
  const std::string served = ReadBytes(Served(L"22\\Polvarin.7z"));
  EXPECT_TRUE(ReadBytes(Unproven(L"Polvarin.rar")) == served.substr(0, served.size() / 2));
  EXPECT_FALSE(Exists(kDir + L"Polvarin.rar"));
  EXPECT_FALSE(Exists(kDir + L"Polvarin.exe"));
  EXPECT_FALSE(Exists(kDir + L"Thandrel.rar"));
  CloseAndExpectExit();
}

TEST_F(Installation, AnswerCutInsideItsHeadStopsTheRunAndDeletesNothing) {
  WinrarAlreadyInstalled();
  WriteSiteFile(L"uploads\\download\\file\\23\\Thandrel.7z.reply", "cuthead\n");
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(60000, /*error=*/true), L"Connection Closed Gracefully.");
  ExpectStillOnTheInstallPage();
  EXPECT_TRUE(ReadBytes(kDir + L"Kestrimo.rar") == ReadBytes(Served(L"59\\Kestrimo.7z")));
  EXPECT_TRUE(ReadBytes(kDir + L"Polvarin.rar") == ReadBytes(Served(L"22\\Polvarin.7z")));
  EXPECT_EQ(ReadBytes(Unproven(L"Thandrel.rar")), "");  // opened for the transfer, nothing written
  EXPECT_FALSE(Exists(kDir + L"Wembrisco.rar"));
  EXPECT_FALSE(Exists(kDir + L"Kestrimo.exe"));  // nothing extracted
  CloseAndExpectExit();
}

TEST_F(Installation, CancelledFirebirdSetupIsNotReportedAsInstalled) {
  WinrarAlreadyInstalled();
  Setups("[Firebird50-64.exe]\r\nexit=5\r\n[ACBRMonitor.exe]\r\ncreate1=" + Utf8(kAcbrPresence) + "\r\n");
  // Files of an earlier, partial attempt are replaced without a question
  // (a hidden archiver asking one would wait for ever).
  WriteWithFolders(kDir + L"Relatorios\\Vendas.fr3", "an older report");
  WriteWithFolders(kDir + L"Polvarin.exe", "an older program");
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"Firebird não foi instalado.");
  ExpectStillOnTheInstallPage();
  EXPECT_FALSE(IsWindowVisible(app().Control(kLblModulo)));
  EXPECT_FALSE(IsWindowVisible(app().Control(kLblStatus)));
  EXPECT_EQ(Lines(SetupsRun()), Lines({"C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe"}));
  for (const wchar_t* archive : kArchives) EXPECT_TRUE(Exists(kDir + archive)) << Utf8(archive);
  EXPECT_TRUE(Exists(kDir + L"Polvarin.exe"));  // extraction was done
  EXPECT_NE(ReadBytes(kDir + L"Polvarin.exe"), "an older program");
  EXPECT_NE(ReadBytes(kDir + L"Relatorios\\Vendas.fr3"), "an older report");
  CloseAndExpectExit();
}

// ---- files that are not the vendor's -------------------------------------------
// The network hands the run other bytes than the vendor's: another valid
// archive in place of the updater's, then a filter's block page in place of
// the Firebird library. Neither is ever unpacked or installed, each stop
// names the file, and the run with the vendor's files finishes.
TEST_F(Installation, FilesThatAreNotTheVendorsAreNeverUsed) {
  WinrarAlreadyInstalled();
  WriteWithFolders(kFirebirdPresence, "");
  WriteWithFolders(kAcbrPresence, "");
  const std::wstring after = L" recebido não é o do fornecedor: a rede entregou outro conteúdo no lugar dele (um "
                             L"filtro de conteúdo, um portal de acesso ou um proxy). Nada dele foi usado. Verifique a "
                             L"conexão com a internet e execute o Pravonell novamente.";
  WriteSiteFile(L"uploads\\download\\file\\59\\Kestrimo.7z.reply", "file uploads/download/file/22/Polvarin.7z\n");
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"O arquivo Kestrimo.rar" + after);
  ExpectStillOnTheInstallPage();
  const std::vector<std::string> requests = Requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "GET /uploads/download/file/59/Kestrimo.7z HTTP/1.1"), 2);
  EXPECT_FALSE(Exists(kDir + L"Kestrimo.rar"));
  EXPECT_FALSE(Exists(Unproven(L"Kestrimo.rar")));
  EXPECT_FALSE(Exists(L"C:\\standin\\archiver.log"));  // nothing unpacked
  CloseAndExpectExit();

  DeleteFileW((SiteRoot() + L"\\uploads\\download\\file\\59\\Kestrimo.7z.reply").c_str());
  WriteSiteFile(L"uploads\\download\\file\\91\\fbclient.dll.reply",
                "body <html><body>Este site foi bloqueado pela politica da empresa.</body></html>\n");
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"O arquivo fbclient.dll" + after);
  EXPECT_FALSE(Exists(kDir + L"fbclient.dll"));
  EXPECT_FALSE(Exists(L"C:\\standin\\archiver.log"));
  CloseAndExpectExit();

  DeleteFileW((SiteRoot() + L"\\uploads\\download\\file\\91\\fbclient.dll.reply").c_str());
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), kSuccess);
  EXPECT_EQ(app().WaitForExit(), 0);
  EXPECT_TRUE(ReadBytes(kDir + L"fbclient.dll") == ReadBytes(Served(L"91\\fbclient.dll")));
  EXPECT_TRUE(Exists(kDir + L"Kestrimo.exe"));
}

// Another program in place of the WinRAR setup, which would be run asking
// for administrator rights: it is never started.
TEST_F(Installation, AnotherProgramInPlaceOfTheWinrarSetupIsNeverStarted) {
  WriteSiteFile(L"uploads\\download\\file\\72\\winrar-x64-601br.exe.reply",
                "file uploads/download/file/75/DLL.rar\n");
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage().rfind(L"O arquivo Winrar.exe recebido não é o do fornecedor", 0), 0u);
  ExpectStillOnTheInstallPage();
  EXPECT_TRUE(SetupsRun().empty());
  EXPECT_FALSE(Exists(kDir + L"Winrar.exe"));
  EXPECT_FALSE(Exists(Unproven(L"Winrar.exe")));
  CloseAndExpectExit();
}

// A list signed by someone else is refused before any file is fetched; so
// is, in a run started again, an older list of the vendor's own (a replay).
TEST_F(Installation, ListSignedByAnotherKeyOrOlderThanTheOneUsedIsRefused) {
  WinrarAlreadyInstalled();
  const std::wstring list = SiteRoot() + L"\\uploads\\download\\pravonell.lista";
  const std::string older = ReadBytes(list);
  Publish(Env("PRAVONELL_OTHER_KEY"));
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"Não foi possível confirmar a lista de arquivos do fornecedor: a assinatura dela não é a "
                             L"do fornecedor. Por segurança, nada foi baixado nem instalado. Verifique a conexão com a "
                             L"internet (um filtro de conteúdo, um portal de acesso ou um proxy podem estar entregando "
                             L"outra coisa no lugar dela) e execute o Pravonell novamente.");
  EXPECT_EQ(Lines(Requests()), Lines({kProbe, kList}));
  EXPECT_FALSE(Exists(kDir + L"Quilmarde.ini"));
  CloseAndExpectExit();

  // The vendor's newer list; the run stops at a declined Firebird setup.
  Publish();
  Setups(WorkingSetups("exit=2\r\n"));
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"Firebird não foi instalado.");
  CloseAndExpectExit();

  WriteWithFolders(list, older);
  const std::size_t before = Requests().size();
  Setups(WorkingSetups());
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"Não foi possível confirmar a lista de arquivos do fornecedor: ela é mais antiga que a "
                             L"já usada nesta instalação. Por segurança, nada foi baixado nem instalado. Execute o "
                             L"Pravonell novamente mais tarde; se o problema continuar, entre em contato com o "
                             L"suporte da Varnisca.");
  std::vector<std::string> again = Requests();
  again.erase(again.begin(), again.begin() + static_cast<std::ptrdiff_t>(before));
  EXPECT_EQ(Lines(again), Lines({kProbe, kList}));
  EXPECT_FALSE(Exists(kFirebirdPresence));
  CloseAndExpectExit();
}

TEST_F(Installation, ArchiveThatDoesNotExtractStopsBeforeTheSetups) {
  WinrarAlreadyInstalled();
  // The vendor itself publishes a broken archive: it is the listed file.
  WriteWithFolders(Served(L"50\\Relatorios.7z"), "this is not an archive");
  Publish("", /*brokenOnPurpose=*/true);
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"Não foi possível descompactar o arquivo Relatorios.rar.");
  ExpectStillOnTheInstallPage();
  for (const wchar_t* archive : kArchives) EXPECT_TRUE(Exists(kDir + archive)) << Utf8(archive);
  EXPECT_TRUE(Exists(kDir + L"Dados\\VARNISCA.FDB"));   // the rows before it were extracted
  EXPECT_FALSE(Exists(kDir + L"DLL\\libeay32.dll"));     // the rows after it were not
  EXPECT_TRUE(SetupsRun().empty());
  CloseAndExpectExit();
}

TEST_F(Installation, ReadOnlyConfigurationFileEndsTheRunWithItsError) {
  WinrarAlreadyInstalled();
  WriteWithFolders(kFirebirdPresence, "");
  WriteWithFolders(kAcbrPresence, "");
  // This release's electronic-documents archive carries the configuration
  // file, read-only, over the one downloaded.
  ASSERT_TRUE(CopyFileW(Served(L"61\\Eletronicos-somente-leitura.7z").c_str(), Served(L"61\\Eletronicos.7z").c_str(),
                        FALSE));
  Publish();
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(120000, /*error=*/true), L"Unable to write to C:\\VARNISCA\\Quilmarde.ini.");
  ExpectStillOnTheInstallPage();
  EXPECT_EQ(ReadBytes(kDir + L"Quilmarde.ini"), "[GERAL]\r\nVersao=2026.12\r\n");
  for (const wchar_t* archive : kArchives) EXPECT_TRUE(Exists(kDir + archive)) << Utf8(archive);
  CloseAndExpectExit();
}

TEST_F(Installation, WindowClosedDuringADownloadEndsCleanly) {
  WinrarAlreadyInstalled();
  WriteSiteFile(L"uploads\\download\\file\\59\\Kestrimo.7z.reply", "stall\n");
  WalkToInstallPage();
  ClickInstall();
  ASSERT_TRUE(WaitFor([&] {
    const std::vector<std::string> requests = Requests();
    return !requests.empty() && requests.back() == "GET /uploads/download/file/59/Kestrimo.7z HTTP/1.1";
  }));
  // A second click during the run starts nothing: no probe, no download.
  const std::vector<std::string> before = Requests();
  ClickInstall();
  ASSERT_TRUE(WaitFor([&] { return app().Counter(kClicksIgnored) == 1; }));
  EXPECT_EQ(Lines(Requests()), Lines(before));
  EXPECT_EQ(before.back(), "GET /uploads/download/file/59/Kestrimo.7z HTTP/1.1");
  PostMessageW(app().window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app().WaitForExit(10000), 0);
  EXPECT_EQ(app().OpenDialog(), nullptr);
  EXPECT_TRUE(ReadBytes(kDir + L"Quilmarde.ini") == ReadBytes(Served(L"73\\quilmarde.ini")));
  // The stalled file was closed: it can be opened and deleted.
  EXPECT_TRUE(Exists(Unproven(L"Kestrimo.rar")));
  EXPECT_TRUE(DeleteFileW(Unproven(L"Kestrimo.rar").c_str()));
  EXPECT_FALSE(Exists(kDir + L"Polvarin.rar"));
}

std::wstring DesktopShortcut() {
  wchar_t desktop[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
  return std::wstring(desktop) + L"\\Polvarin.lnk";
}

// The person declines the Firebird setup; the run stops with the updater
// already extracted. Running the installer again finishes the installation,
// and only then is it a previous installation.
TEST_F(Installation, DeclinedFirebirdSetupThenRunningAgainFinishesTheInstallation) {
  Setups(WorkingSetups("exit=2\r\n"));
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"Firebird não foi instalado.");
  ExpectStillOnTheInstallPage();
  EXPECT_TRUE(Exists(kDir + L"Kestrimo.exe"));
  EXPECT_TRUE(Exists(kDir + kMark));
  EXPECT_FALSE(Exists(kFirebirdPresence));
  CloseAndExpectExit();

  // The mark left behind is read-only, and becomes so again while the
  // second run waits for the Firebird setup (a backup tool, a person): it is
  // still written at the start and removed at the end.
  SetFileAttributesW((kDir + kMark).c_str(), FILE_ATTRIBUTE_READONLY);
  DeleteFileW(L"C:\\standin\\go-firebird");
  Setups(WorkingSetups("waitfor=C:\\standin\\go-firebird\r\n"));
  const std::size_t firstRun = Requests().size();
  WalkToInstallPage();
  ClickInstall();
  ASSERT_TRUE(WaitFor([&] { return SetupsRun().size() == 3; }, 120000));  // Firebird again
  EXPECT_TRUE(SetFileAttributesW((kDir + kMark).c_str(), FILE_ATTRIBUTE_READONLY));
  WriteWithFolders(L"C:\\standin\\go-firebird", "");
  EXPECT_EQ(AnswerMessage(), kSuccess);
  EXPECT_EQ(app().WaitForExit(), 0);
  // Every file was there and the vendor's by its hash: nothing was asked for
  // but the list (and the probes of the setups).
  std::vector<std::string> again = Requests();
  again.erase(again.begin(), again.begin() + static_cast<std::ptrdiff_t>(firstRun));
  EXPECT_EQ(Lines(again), Lines({kProbe, kList, kProbe, kProbe}));
  EXPECT_EQ(Lines(SetupsRun()), Lines({"C:\\VARNISCA\\Winrar.exe",
                                       "C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe",
                                       "C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe",
                                       "C:\\VARNISCA\\Ferramentas\\ACBRMonitor.exe"}));
  EXPECT_TRUE(Exists(kFirebirdPresence));
  EXPECT_NE(ReadBytes(kDir + L"Quilmarde.ini").find("CNPJEmpresa=11222333000181\r\n"), std::string::npos);
  EXPECT_TRUE(Exists(DesktopShortcut()));
  for (const wchar_t* archive : kArchives) EXPECT_FALSE(Exists(kDir + archive)) << Utf8(archive);
  EXPECT_FALSE(Exists(kDir + kMark));

  WalkToInstallPage();
  const std::size_t before = Requests().size();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(20000), kPrevious);
  EXPECT_EQ(app().WaitForExit(), 0);
  EXPECT_EQ(Requests().size(), before);
}

// A folder holding a live database and the customer's own configuration
// file, but no updater (an older suite, a quarantined updater, a database
// moved there): the suite is installed around the database, which keeps
// every byte, and the customer's configuration is kept beside the vendor's
// as Quilmarde.ini.anterior. On the way, the network cuts one archive's
// transfer in the middle; it is resumed from where it broke.
TEST_F(Installation, DatabaseAndConfigurationAlreadyInTheFolderAreKeptAndACutTransferResumes) {
  WinrarAlreadyInstalled();
  WriteSiteFile(L"uploads\\download\\file\\22\\Polvarin.7z.reply", "etag \"p1\"\ncutwhole half\n");
  WriteWithFolders(kFirebirdPresence, "");
  WriteWithFolders(kAcbrPresence, "");
  std::string database = "our own database\r\n";
  for (int i = 0; i < 4096; ++i) database += static_cast<char>(i * 7);
  WriteWithFolders(kDir + L"Dados\\VARNISCA.FDB", database);
  const std::string customersConfig =
      "[BANCO_DADOS]\r\nCaminho=SERVIDOR:C:\\VARNISCA\\Dados\\VARNISCA.FDB\r\nCNPJEmpresa=11222333000181\r\n";
  WriteWithFolders(kDir + L"Quilmarde.ini", customersConfig);
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), kSuccess);
  EXPECT_EQ(app().WaitForExit(), 0);
  EXPECT_EQ(ReadBytes(kDir + L"Quilmarde.ini.anterior"), customersConfig);
  EXPECT_EQ(ReadBytes(kDir + L"Quilmarde.ini").rfind("[GERAL]\r\nVersao=2026.12\r\n", 0), 0u);
  EXPECT_FALSE(Exists(kDir + L"Dados.descompactando"));
  for (const wchar_t* file : {L"Kestrimo.exe", L"Polvarin.exe", L"Thandrel.exe", L"Wembrisco.exe",
                              L"Dados\\LEIA-ME.txt", L"Relatorios\\Vendas.fr3", L"DLL\\libeay32.dll"}) {
    EXPECT_TRUE(Exists(kDir + file)) << Utf8(file);
  }
  EXPECT_TRUE(ReadBytes(kDir + L"Dados\\VARNISCA.FDB") == database) << "the database was changed";
  const std::uint64_t half = ReadBytes(Served(L"22\\Polvarin.7z")).size() / 2;
  const std::vector<std::string> requests = Requests();
  EXPECT_NE(std::find(requests.begin(), requests.end(),
                      "GET /uploads/download/file/22/Polvarin.7z HTTP/1.1 (Range: bytes=" + std::to_string(half) + "-)"),
            requests.end())
      << "no resume";
}

// Every wait of a run leaves the window alive: a slow name lookup, and a
// setup the person takes their time with. A close during the setup does not
// cut it off: the program ends once the setup has, and nothing after it runs.
TEST_F(Installation, WindowStaysAliveThroughTheWaitsAndACloseWaitsForTheSetup) {
  WinrarAlreadyInstalled();
  WriteWithFolders(L"C:\\standin\\resolve.hold", "");
  DeleteFileW(L"C:\\standin\\resolving");
  Setups(WorkingSetups("waitfor=C:\\standin\\go-firebird\r\n"));
  WalkToInstallPage();
  ClickInstall();

  ASSERT_TRUE(WaitFor([] { return Exists(L"C:\\standin\\resolving"); }, 60000)) << "no name lookup";
  ExpectTheWindowAlive();
  DeleteFileW(L"C:\\standin\\resolve.hold");

  const std::string firebird = "C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe";
  ASSERT_TRUE(WaitFor([&] { return !SetupsRun().empty() && SetupsRun().back() == firebird; }, 120000));
  EXPECT_EQ(Driver::WindowText(app().Control(kLblStatus)), L"Aguardando o instalador do Firebird...");
  ExpectTheWindowAlive();
  EXPECT_TRUE(app().Screenshot(L"10-aguardando-firebird"));
  ClickInstall();  // a second click while the setup runs starts nothing
  ASSERT_TRUE(WaitFor([&] { return app().Counter(kClicksIgnored) == 1; }));

  DWORD_PTR result = 0;
  ASSERT_NE(SendMessageTimeoutW(app().window(), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0);
  EXPECT_TRUE(app().Running());  // the close was taken, the setup goes on
  EXPECT_EQ(SetupsDone(), "");
  ExpectTheWindowAlive();

  WriteWithFolders(L"C:\\standin\\go-firebird", "");
  EXPECT_EQ(app().WaitForExit(60000), 0);
  EXPECT_EQ(SetupsDone(), "Firebird50-64.exe exit 0\r\n");  // it ran to its end
  EXPECT_EQ(app().OpenDialog(), nullptr);
  EXPECT_EQ(Lines(SetupsRun()), Lines({firebird}));  // no ACBrNFeMonitor after it
  EXPECT_FALSE(Exists(DesktopShortcut()));
  EXPECT_EQ(ReadBytes(kDir + L"Quilmarde.ini").find("CNPJEmpresa"), std::string::npos);
  EXPECT_TRUE(Exists(kDir + kMark));  // to be finished by the next run
}

// The install page's heading, read from the page's own text: a line for the
// title, one for the intro, then "[x] ", "[>] " or "[ ] " and each step.
std::wstring Heading(Driver& app) { return Driver::WindowText(app.Control(kSbInstall)); }

bool HeadingHas(Driver& app, const std::wstring& text) { return Heading(app).find(text) != std::wstring::npos; }

void SetScreenScale(DWORD dpi) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    RegCloseKey(key);
  }
}

// The heading shows where the whole installation stands: each step checked
// off, the current one with where it is, and a stop for what it is. Run at
// 96 dpi, where the Firebird setup is declined, and again at 144 dpi, which
// finishes the installation the first run left.
TEST_F(Installation, InstallPageShowsWhereTheInstallationStands) {
  WinrarAlreadyInstalled();
  WriteWithFolders(kAcbrPresence, "");
  WriteWithFolders(L"C:\\standin\\archiver.ini", "[archiver]\r\ndelay=700\r\n");
  const std::wstring kDownload = L"Baixar o sistema, o banco de dados e as ferramentas";
  const std::wstring kExtract = L"Descompactar os arquivos na pasta de instalação";
  const std::wstring kSetups = L"Instalar o Firebird 5.0 e o ACBrNFeMonitor, se faltarem";
  const std::wstring kFinish = L"Criar o atalho e gravar os dados do cliente";
  for (const DWORD dpi : {96u, 144u}) {
    SCOPED_TRACE(dpi);
    const std::wstring suffix = dpi == 96 ? L"" : L"-144dpi";
    SetScreenScale(dpi);
    WriteWithFolders(L"C:\\standin\\resolve.hold", "");
    DeleteFileW(L"C:\\standin\\resolving");
    DeleteFileW(L"C:\\standin\\go-firebird");
    DeleteFileW(L"C:\\standin\\setups.log");
    Setups(WorkingSetups(std::string("waitfor=C:\\standin\\go-firebird\r\n") + (dpi == 96 ? "exit=2\r\n" : "")));
    WalkToInstallPage();
    EXPECT_EQ(Heading(app()).substr(0, Heading(app()).find(L"\r\n")), L"Pronto para instalar");
    EXPECT_TRUE(HeadingHas(app(), L"[ ] " + kDownload));
    EXPECT_TRUE(app().Screenshot(L"11-etapas-antes" + suffix));
    ClickInstall();

    // The vendor's list, the first thing fetched, held in its name lookup.
    ASSERT_TRUE(WaitFor([] { return Exists(L"C:\\standin\\resolving"); }, 60000));
    EXPECT_TRUE(HeadingHas(app(), L"Instalando o sistema…\r\n"));
    EXPECT_TRUE(HeadingHas(app(), L"[>] " + kDownload + L" — Lista de arquivos do fornecedor")) << Utf8(Heading(app()));
    EXPECT_TRUE(HeadingHas(app(), L"[ ] " + kExtract));
    EXPECT_TRUE(app().Screenshot(L"12-etapas-baixando" + suffix));
    DeleteFileW(L"C:\\standin\\resolve.hold");

    // Extraction: the downloads done, each archive counted.
    ASSERT_TRUE(WaitFor([&] { return HeadingHas(app(), L"[>] " + kExtract + L" — Arquivo "); }, 120000))
        << Utf8(Heading(app()));
    EXPECT_TRUE(HeadingHas(app(), L"[x] " + kDownload));
    EXPECT_TRUE(HeadingHas(app(), L" de 9\r\n"));
    EXPECT_TRUE(app().Screenshot(L"13-etapas-descompactando" + suffix));

    // The Firebird setup, still in the person's hands.
    const std::string firebird = "C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe";
    ASSERT_TRUE(WaitFor([&] { return !SetupsRun().empty() && SetupsRun().back() == firebird; }, 120000));
    EXPECT_TRUE(HeadingHas(app(), L"[x] " + kExtract));
    EXPECT_TRUE(HeadingHas(app(), L"[>] " + kSetups + L" — Firebird 5.0")) << Utf8(Heading(app()));
    EXPECT_TRUE(app().Screenshot(L"14-etapas-instalando-firebird" + suffix));
    WriteWithFolders(L"C:\\standin\\go-firebird", "");

    if (dpi == 96) {
      EXPECT_EQ(AnswerMessage(), L"Firebird não foi instalado.");
      EXPECT_EQ(Heading(app()).substr(0, Heading(app()).find(L"\r\n", Heading(app()).find(L"\r\n") + 2)),
                L"A instalação não foi concluída.\r\nClique em INSTALAR para tentar de novo.");
      EXPECT_TRUE(HeadingHas(app(), L"[>] " + kSetups + L"\r\n"));  // where it stopped
      EXPECT_TRUE(HeadingHas(app(), L"[ ] " + kFinish));
      EXPECT_TRUE(app().Screenshot(L"15-etapas-interrompida" + suffix));
      CloseAndExpectExit();
    } else {
      EXPECT_EQ(AnswerMessage(), kSuccess);
      EXPECT_EQ(app().WaitForExit(), 0);
    }
  }
  SetScreenScale(96);
  EXPECT_FALSE(Exists(kDir + kMark));  // the second run finished what the first left
}

// The served database, as the vendor's archive holds it.
std::string ServedDatabase() {
  const std::string archive = standin::UnixPathOf(Served(L"66\\DADOS.7z"));
  std::string bytes;
  EXPECT_EQ(standin::RunUnixCommand("bsdtar -xOf " + standin::ShellQuote(archive) + " VARNISCA.FDB", &bytes), 0);
  return bytes;
}

// The window is closed while the archiver is in the middle of the database
// (it writes a large file at its full size first, so what a cut leaves
// looks whole by its size). Nothing half-written reaches Dados, and the run
// started again leaves the served database there byte for byte.
TEST_F(Installation, CloseDuringTheDatabaseExtractionThenRunningAgainLeavesTheServedDatabase) {
  WinrarAlreadyInstalled();
  WriteWithFolders(kFirebirdPresence, "");
  WriteWithFolders(kAcbrPresence, "");
  DeleteFileW(L"C:\\standin\\archiver.holding");
  WriteWithFolders(L"C:\\standin\\archiver.ini", "[archiver]\r\nhold=1048576\r\n");
  WalkToInstallPage();
  ClickInstall();
  ASSERT_TRUE(WaitFor([] { return Exists(L"C:\\standin\\archiver.holding"); }, 180000))
      << "the archiver never reached the middle of the database";
  PostMessageW(app().window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app().WaitForExit(20000), 0);
  EXPECT_FALSE(Exists(kDir + L"Dados\\VARNISCA.FDB"));
  EXPECT_TRUE(Exists(kDir + kMark));

  DeleteFileW(L"C:\\standin\\archiver.ini");
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), kSuccess);
  EXPECT_EQ(app().WaitForExit(), 0);
  const std::string served = ServedDatabase();
  ASSERT_EQ(served.size(), 8u * 1024 * 1024);
  EXPECT_TRUE(ReadBytes(kDir + L"Dados\\VARNISCA.FDB") == served) << "not the served database";
  EXPECT_FALSE(Exists(kDir + L"Dados.descompactando"));
  EXPECT_FALSE(Exists(kDir + kMark));
}

// The installation folder on a small disk (a 4 MiB tmpfs, reached through
// Z:): the database does not fit, and the run says how much room to make.
// What was fetched stays, with the mark; once there is room, the next run
// finishes the installation.
class OnASmallDisk : public Installation {
 protected:
  void SetUp() override {
    Installation::SetUp();
    const std::string world = Env("PRAVONELL_SCENARIO_DIR");
    ASSERT_FALSE(world.empty()) << "run through tests/e2e/run-scenario";
    mountPoint_ = world + "/disco";
    ASSERT_EQ(Mount("size=4m"), 0) << "could not mount a tmpfs";
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) standin::RunUnixCommand("umount -l " + standin::ShellQuote(mountPoint_));
    Installation::TearDown();
  }
  int Mount(const std::string& options) {
    return standin::RunUnixCommand("mkdir -p " + standin::ShellQuote(mountPoint_) + " && mount -t tmpfs -o " +
                                   options + " tmpfs " + standin::ShellQuote(mountPoint_));
  }
  int Grow() {
    return standin::RunUnixCommand("mount -o remount,size=64m " + standin::ShellQuote(mountPoint_));
  }
  std::wstring Folder() const { return WindowsPathOf(mountPoint_) + L"\\VARNISCA\\"; }
  // Another program takes every byte left on the disk, and gives it back.
  void Fill() {
    ASSERT_EQ(standin::RunUnixCommand("dd if=/dev/zero of=" + standin::ShellQuote(mountPoint_ + "/outro-programa") +
                                      " bs=1M 2>/dev/null; test -s " +
                                      standin::ShellQuote(mountPoint_ + "/outro-programa")),
              0);
  }
  void Unfill() { ASSERT_EQ(standin::RunUnixCommand("rm -f " + standin::ShellQuote(mountPoint_ + "/outro-programa")), 0); }

  std::string mountPoint_;
  bool mounted_ = false;
};

// The disk holds the downloads but not the unpacked suite: the room the
// whole installation needs is told before the first byte of a file, and a
// run with room finishes.
TEST_F(OnASmallDisk, DiskTooSmallForTheSuiteIsToldBeforeTheFirstByteThenARunWithRoomFinishes) {
  WinrarAlreadyInstalled();
  WriteWithFolders(kFirebirdPresence, "");
  WriteWithFolders(kAcbrPresence, "");
  WalkToInstallPage(L"11222333000181", Folder());
  ClickInstall();
  const std::wstring message = AnswerMessage();
  const std::wstring start = L"Não há espaço suficiente no disco para instalar o sistema. Libere ";
  const std::wstring end = L" MB e execute o Pravonell novamente.";
  ASSERT_TRUE(message.rfind(start, 0) == 0 && message.size() > start.size() + end.size() &&
              message.substr(message.size() - end.size()) == end)
      << Utf8(message);
  const int megabytes = std::stoi(message.substr(start.size(), message.size() - start.size() - end.size()));
  EXPECT_GE(megabytes, 15);  // the suite takes about 24 MB fetched and unpacked, on a disk of 4
  EXPECT_LE(megabytes, 24);
  EXPECT_EQ(Lines(Requests()), Lines({kProbe, kList}));  // not a byte of a file
  ExpectStillOnTheInstallPage();
  const std::wstring dir = app().Text(app().Control(kEdDirInstalacao));
  EXPECT_FALSE(Exists(dir + L"Quilmarde.ini"));
  EXPECT_TRUE(Exists(dir + kMark));
  CloseAndExpectExit();

  ASSERT_EQ(Grow(), 0);
  WalkToInstallPage(L"11222333000181", Folder());
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), kSuccess);
  EXPECT_EQ(app().WaitForExit(), 0);
  EXPECT_TRUE(Exists(dir + L"Dados\\VARNISCA.FDB"));
  EXPECT_FALSE(Exists(dir + kMark));
}

// The disk fills up under the run, at each place it writes: before the mark
// (another program took it all), and while the database is unpacked. Each
// stop says it the same way, with the room to make; the run with room
// finishes the installation.
TEST_F(OnASmallDisk, DiskThatFillsUnderTheRunIsToldAtEachPlaceThenARunWithRoomFinishes) {
  ASSERT_EQ(Grow(), 0);
  WinrarAlreadyInstalled();
  WriteWithFolders(kFirebirdPresence, "");
  WriteWithFolders(kAcbrPresence, "");
  const std::wstring dir = Folder();
  Fill();
  WalkToInstallPage(L"11222333000181", dir);
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"Não há espaço suficiente no disco para gravar INSTALACAO-INCOMPLETA.txt. Libere 1 MB "
                             L"e execute o Pravonell novamente.");
  EXPECT_TRUE(Requests().empty());
  CloseAndExpectExit();

  // Room again; then, while the archiver is in the middle of the database,
  // another program takes it all.
  Unfill();
  DeleteFileW(L"C:\\standin\\archiver.holding");
  DeleteFileW(L"C:\\standin\\archiver.go");
  WriteWithFolders(L"C:\\standin\\archiver.ini", "[archiver]\r\nhold=1048576\r\n");
  WalkToInstallPage(L"11222333000181", dir);
  ClickInstall();
  ASSERT_TRUE(WaitFor([] { return Exists(L"C:\\standin\\archiver.holding"); }, 180000));
  Fill();
  WriteWithFolders(L"C:\\standin\\archiver.go", "");
  const std::wstring message = AnswerMessage();
  const std::wstring start = L"Não há espaço suficiente no disco para descompactar Dados.rar. Libere ";
  EXPECT_EQ(message.rfind(start, 0), 0u) << Utf8(message);
  EXPECT_NE(message.find(L" MB e execute o Pravonell novamente."), std::wstring::npos) << Utf8(message);
  EXPECT_FALSE(Exists(dir + L"Dados\\VARNISCA.FDB"));
  CloseAndExpectExit();

  Unfill();
  DeleteFileW(L"C:\\standin\\archiver.ini");
  WalkToInstallPage(L"11222333000181", dir);
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), kSuccess);
  EXPECT_EQ(app().WaitForExit(), 0);
  EXPECT_TRUE(ReadBytes(dir + L"Dados\\VARNISCA.FDB") == ServedDatabase());
  EXPECT_FALSE(Exists(dir + kMark));
}

BOOL CALLBACK CountMainWindows(HWND window, LPARAM count) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (std::wstring(name) == ui::kMainWindowClass) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// A second copy of the installer (a double click that seemed to do nothing,
// then another) brings the first one's window to the front and ends
// without a window of its own.
TEST_F(Installation, SecondCopyBringsTheFirstToTheFrontAndEnds) {
  WalkToInstallPage();
  const HWND other = CreateWindowExW(0, L"STATIC", L"outra janela", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                     200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == other; }));

  PROCESS_INFORMATION second{};
  ASSERT_TRUE(StartProcess(L"\"" + ProgramUnderTest(PRAVONELL_EXE) + L"\"", second));
  EXPECT_EQ(WaitForSingleObject(second.hProcess, 30000 * WaitFactor()), WAIT_OBJECT_0) << "the second copy stayed";
  DWORD code = 1;
  GetExitCodeProcess(second.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(second.hThread);
  CloseHandle(second.hProcess);

  int windows = 0;
  EnumWindows(CountMainWindows, reinterpret_cast<LPARAM>(&windows));
  EXPECT_EQ(windows, 1);
  EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == app().window(); })) << "the first copy is not in front";
  EXPECT_EQ(app().FrontPage(), app().Control(kSbInstall));  // as the person left it
  DestroyWindow(other);
  CloseAndExpectExit();
}

// A copy this one may not reach holds the installation (one started "as
// administrator", or another person's on the same terminal server): the
// mark exists and this user may not open it. The second copy says that an
// installation is already running on this computer, and ends without a
// window of its own.
TEST_F(Installation, CopyThatCannotBeReachedIsToldAndTheSecondEnds) {
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  alignas(ACL) BYTE aclBytes[64];
  ACL* acl = reinterpret_cast<ACL*>(aclBytes);
  ASSERT_TRUE(InitializeAcl(acl, sizeof aclBytes, ACL_REVISION));  // grants nothing to anyone
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  const HANDLE held = CreateMutexW(&attributes, FALSE, L"Global\\Pravonell.Instalador");
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(CreateMutexW(nullptr, FALSE, L"Global\\Pravonell.Instalador"), nullptr);  // as for the second copy
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  started_ = std::make_unique<Driver>();
  ASSERT_TRUE(app().Launch(ProgramUnderTest(PRAVONELL_EXE)));
  const HWND box = app().WaitForDialog(60000);
  ASSERT_NE(box, nullptr) << "the second copy said nothing";
  EXPECT_EQ(app().DialogText(box), L"Já existe uma instalação do sistema Varnisca em andamento neste computador, "
                                   L"talvez de outro usuário. Aguarde o fim dela e execute o Pravonell novamente.");
  EXPECT_FALSE(app().HasMainWindow());
  app().Answer(box, IDOK);
  EXPECT_EQ(app().WaitForExit(), 0);
  EXPECT_FALSE(Exists(kDir));  // nothing was made
  CloseHandle(held);
}

// ---- a run started again -----------------------------------------------------
// The vendor's server sends an ETag with every file, as a real one does.

void ServeWithValidators() {
  for (std::size_t i = 0; i < std::size(kPlanRequests); ++i) {
    const std::string line = kPlanRequests[i];
    const std::string path = line.substr(5, line.find(' ', 4) - 5);  // without its first '/'
    std::wstring relative = WidenLatin1(path) + L".reply";
    for (wchar_t& c : relative) {
      if (c == L'/') c = L'\\';
    }
    WriteSiteFile(relative, "etag \"v" + std::to_string(i) + "\"\n");
  }
}

// The first run stops at a declined Firebird setup. Meanwhile the vendor
// publishes new reports. The run started again asks for nothing it has:
// every file there is the vendor's by its hash, with no request at all; the
// reports the new list names differently are fetched anew, and end extracted.
TEST_F(Installation, RunStartedAgainFetchesOnlyWhatTheNewListChanged) {
  WinrarAlreadyInstalled();
  ServeWithValidators();
  Setups(WorkingSetups("exit=2\r\n"));
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), L"Firebird não foi instalado.");
  CloseAndExpectExit();

  ASSERT_TRUE(CopyFileW(Served(L"50\\Relatorios-2027.7z").c_str(), Served(L"50\\Relatorios.7z").c_str(), FALSE));
  Publish();
  const std::size_t before = Requests().size();
  Setups(WorkingSetups());
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), kSuccess);
  EXPECT_EQ(app().WaitForExit(), 0);
  std::vector<std::string> again = Requests();
  again.erase(again.begin(), again.begin() + static_cast<std::ptrdiff_t>(before));
  // The reports come whole: the record's validators are a hint for a part,
  // never for a whole file.
  EXPECT_EQ(Lines(again), Lines({kProbe, kList, "GET /uploads/download/file/50/Relatorios.7z HTTP/1.1", kProbe, kProbe}));
  EXPECT_EQ(ReadBytes(kDir + L"Relatorios\\Vendas.fr3"), "<report name=\"Vendas\" version=\"2027\"/>\r\n");
  EXPECT_TRUE(Exists(kDir + L"Relatorios\\Compras.fr3"));
  EXPECT_TRUE(Exists(kDir + L"Dados\\VARNISCA.FDB"));
  EXPECT_FALSE(Exists(kDir + L"INSTALACAO-INCOMPLETA.downloads"));
  EXPECT_FALSE(Exists(kDir + kMark));
}

// The record's line of a file, "" when there is none.
std::string RecordLine(const std::string& file) {
  std::istringstream record(ReadBytes(kDir + L"INSTALACAO-INCOMPLETA.downloads"));
  std::string line;
  while (std::getline(record, line)) {
    if (line.rfind(file + "\t", 0) == 0) return line;
  }
  return "";
}

// The bytes of a file that the record says are in it.
std::uint64_t RecordedBytes(const std::string& file) {
  std::istringstream fields(RecordLine(file));
  std::string field;
  for (int i = 0; i < 4 && std::getline(fields, field, '\t'); ++i) {
  }
  return field.empty() ? 0 : std::stoull(field);
}

// The program is ended (a power cut, the task manager) in the middle of the
// database's download. The run started again continues it from the bytes
// the record says are there, and the database ends byte for byte the served
// one.
TEST_F(Installation, RunEndedInTheMiddleOfALargeFileIsContinuedByTheNext) {
  WinrarAlreadyInstalled();
  WriteWithFolders(kFirebirdPresence, "");
  WriteWithFolders(kAcbrPresence, "");
  ServeWithValidators();
  WriteSiteFile(L"uploads\\download\\file\\66\\DADOS.7z.reply", "etag \"v5\"\nstallwhole 6000000\n");
  WalkToInstallPage();
  ClickInstall();
  ASSERT_TRUE(WaitFor([] { return RecordedBytes("Dados.rar.baixando") >= 4u * 1024 * 1024; }, 120000))
      << RecordLine("Dados.rar.baixando");
  started_.reset();  // ends the program where it is
  const std::uint64_t have = RecordedBytes("Dados.rar.baixando");
  EXPECT_NE(RecordLine("Dados.rar.baixando").find("\tpartial\t"), std::string::npos);
  EXPECT_FALSE(Exists(kDir + L"Dados.rar"));  // the part is not the vendor's file yet

  WriteSiteFile(L"uploads\\download\\file\\66\\DADOS.7z.reply", "etag \"v5\"\n");
  const std::size_t before = Requests().size();
  WalkToInstallPage();
  ClickInstall();
  EXPECT_EQ(AnswerMessage(), kSuccess);
  EXPECT_EQ(app().WaitForExit(), 0);
  const std::vector<std::string> requests = Requests();
  EXPECT_NE(std::find(requests.begin() + static_cast<std::ptrdiff_t>(before), requests.end(),
                      "GET /uploads/download/file/66/DADOS.7z HTTP/1.1 (Range: bytes=" + std::to_string(have) + "-)"),
            requests.end())
      << "not continued from byte " << have;
  EXPECT_TRUE(ReadBytes(kDir + L"Dados\\VARNISCA.FDB") == ServedDatabase()) << "not the served database";
}

// ---- downloads through the office's proxy ------------------------------------
// The program of these scenarios is pointed at a download host, vendor.test,
// that only the proxy (squid, with a hosts file of its own) can resolve: a
// download that went direct would fail, so a finished installation shows
// that every file went through the proxy, and the proxy's log lists them.

// The user's connection settings as Windows stores them (and WinHTTP reads
// them): flags 1 direct, 2 a fixed proxy, 4 a configuration script.
void WriteConnectionSettings(unsigned flags, const std::string& proxy, const std::string& bypass,
                             const std::string& script) {
  std::string value;
  const auto dword = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) value += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const auto text = [&](const std::string& t) {
    dword(static_cast<std::uint32_t>(t.size()));
    value += t;
  };
  dword(0x46);
  dword(1);
  dword(flags);
  text(proxy);
  text(bypass);
  text(script);
  for (int i = 0; i < 8; ++i) dword(0);
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                            L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, reinterpret_cast<const BYTE*>(value.data()),
                 static_cast<DWORD>(value.size()));
  RegCloseKey(key);
}

class ThroughTheProxy : public Installation {
 protected:
  void SetUp() override {
    Installation::SetUp();
    UseProxy("PROXY");
    WinrarAlreadyInstalled();
    WriteWithFolders(kFirebirdPresence, "");
    WriteWithFolders(kAcbrPresence, "");
  }

  // One of the squids scripts/test starts: PROXY lets everything through,
  // BASIC_PROXY asks for a user and password, NTLM_PROXY asks for NTLM
  // (any login passes), NTLM_CLOSE_PROXY too, closing after its first 407.
  void UseProxy(const std::string& name) {
    proxyPort_ = Env(("PRAVONELL_" + name + "_PORT").c_str());
    proxyLog_ = Env(("PRAVONELL_" + name + "_LOG").c_str());
    ASSERT_FALSE(proxyLog_.empty()) << "run through scripts/test";
    proxyLogStart_ = ReadBytes(WindowsPathOf(proxyLog_)).size();
    WriteConnectionSettings(3, "127.0.0.1:" + proxyPort_, "<local>", "");
  }

  // A whole installation with the program pointed at vendor.test (the test
  // build reads its download host from the environment it inherits);
  // answer() answers what comes before the run's message.
  void InstallThroughTheProxy(const std::function<void()>& answer = [] {}) {
    const std::wstring host = L"vendor.test:" + WidenLatin1(Env("PRAVONELL_DOWNLOAD_PORT"));
    ASSERT_TRUE(SetEnvironmentVariableW(L"PRAVONELL_TEST_DOWNLOAD_HOST", host.c_str()));
    WalkToInstallPage();
    ClickInstall();
    answer();
    EXPECT_EQ(AnswerMessage(), kSuccess);
    EXPECT_EQ(app().WaitForExit(), 0);
    EXPECT_TRUE(Exists(kDir + L"Polvarin.exe"));
  }

  // What the proxy let through for the program during this scenario: the
  // path of each GET it served, and the user it logged for it ("-" when it
  // asked for none). Its 407s are left out.
  std::vector<std::pair<std::string, std::string>> Served() const {
    std::vector<std::pair<std::string, std::string>> served;
    std::istringstream log(ReadBytes(WindowsPathOf(proxyLog_)).substr(proxyLogStart_));
    std::string line;
    const std::string origin = "http://vendor.test:" + Env("PRAVONELL_DOWNLOAD_PORT");
    while (std::getline(log, line)) {
      // time elapsed client result/status bytes method URL user hierarchy type
      std::istringstream fields(line);
      std::vector<std::string> field;
      for (std::string f; fields >> f;) field.push_back(f);
      if (field.size() < 8 || field[5] != "GET" || field[6].rfind(origin, 0) != 0) continue;
      if (field[3].find("/407") != std::string::npos) continue;
      served.emplace_back(field[6].substr(origin.size()), field[7]);
    }
    return served;
  }

  std::vector<std::string> Proxied() const {
    std::vector<std::string> paths;
    for (const auto& [path, user] : Served()) paths.push_back(path);
    return paths;
  }

  void ExpectEveryFileOfThePlanProxied() {
    std::vector<std::string> expected = {"/uploads/download/pravonell.lista"};
    for (const char* request : kPlanRequests) {
      const std::string line = request;
      expected.push_back(line.substr(4, line.find(' ', 4) - 4));
    }
    EXPECT_EQ(Lines(Proxied()), Lines(expected));
  }

  // Every file the proxy served went as the given user.
  void ExpectEveryFileServedAs(const std::string& user) {
    const auto served = Served();
    EXPECT_FALSE(served.empty());
    for (const auto& [path, who] : served) EXPECT_EQ(who, user) << path;
  }

  // Waits for the prompt for the proxy's user and password, types them in
  // and confirms; the prompt's message, "" if none came.
  std::wstring AnswerProxyPrompt(const std::wstring& user, const std::wstring& password) {
    const HWND prompt = app().WaitForDialog(120000);
    if (prompt == nullptr) return L"";
    EXPECT_EQ(Driver::WindowText(prompt), L"Proxy da rede");
    struct Fields {
      HWND user = nullptr;
      HWND password = nullptr;
    } fields;
    EnumChildWindows(
        prompt,
        [](HWND child, LPARAM found) -> BOOL {
          auto& f = *reinterpret_cast<Fields*>(found);
          wchar_t name[32] = {};
          GetClassNameW(child, name, 32);
          // The user's field is the edit of a combo box (of the users the
          // system knows), the password's the edit that hides what it holds.
          if (lstrcmpiW(name, L"Edit") != 0) return TRUE;
          if ((GetWindowLongW(child, GWL_STYLE) & ES_PASSWORD) != 0) {
            f.password = child;
          } else if (f.user == nullptr) {
            f.user = child;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&fields));
    EXPECT_NE(fields.user, nullptr);
    EXPECT_NE(fields.password, nullptr);
    const std::wstring text = app().DialogText(prompt);
    // Typed as a person types, so that the combo box takes the edit's text
    // as the user's.
    for (const auto& [field, text] : {std::pair{fields.user, user}, std::pair{fields.password, password}}) {
      for (wchar_t c : text) SendMessageW(field, WM_CHAR, c, 1);
    }
    app().Answer(prompt, IDOK);
    return text;
  }

  // What was typed is kept nowhere: not among the system's saved
  // credentials, not in the folder nor in the temporary folder.
  static void ExpectPasswordNowhere(const std::string& password) {
    DWORD count = 0;
    PCREDENTIALW* saved = nullptr;
    if (CredEnumerateW(nullptr, 0, &count, &saved)) {
      for (DWORD i = 0; i < count; ++i) ADD_FAILURE() << "saved credential: " << Utf8(saved[i]->TargetName);
      CredFree(saved);
    }
    const std::wstring wide = WidenLatin1(password);
    const std::string utf16(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (const std::wstring& folder : {kDir, std::wstring(temp)}) {
      for (const std::wstring& file : FilesUnder(folder)) {
        const std::string bytes = ReadBytes(file);
        EXPECT_EQ(bytes.find(password), std::string::npos) << Utf8(file);
        EXPECT_EQ(bytes.find(utf16), std::string::npos) << Utf8(file);
      }
    }
  }

  static std::vector<std::wstring> FilesUnder(const std::wstring& folder) {
    std::vector<std::wstring> files;
    std::vector<std::wstring> pending = {folder};
    while (!pending.empty()) {
      std::wstring dir = pending.back();
      pending.pop_back();
      if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
      WIN32_FIND_DATAW found;
      const HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
      if (search == INVALID_HANDLE_VALUE) continue;
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          pending.push_back(dir + name);
        } else {
          files.push_back(dir + name);
        }
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    return files;
  }

  std::string proxyPort_;
  std::string proxyLog_;
  std::size_t proxyLogStart_ = 0;
};

TEST_F(ThroughTheProxy, DownloadsGoThroughTheProxyOfTheUsersSettings) {
  InstallThroughTheProxy();
  ExpectEveryFileOfThePlanProxied();
}

// A configuration script served by the vendor's stand-in site sends the
// download host to the proxy, and everything else direct.
TEST_F(ThroughTheProxy, ConfigurationScriptSendsTheDownloadHostToTheProxy) {
  WriteSiteFile(L"proxy.pac",
                "function FindProxyForURL(url, host) {\n"
                "  if (host == \"vendor.test\") return \"PROXY 127.0.0.1:" + proxyPort_ + "\";\n"
                "  return \"DIRECT\";\n"
                "}\n");
  WriteConnectionSettings(5, "", "", "http://127.0.0.1:" + Env("PRAVONELL_SITE_PORT") + "/proxy.pac");
  InstallThroughTheProxy();
  ExpectEveryFileOfThePlanProxied();
}

// An office whose proxy asks for a user and password (Basic): the person is
// asked once, a wrong password asks again, and what was typed serves every
// file of the run, in memory only.
TEST_F(ThroughTheProxy, ProxyThatAsksForAPasswordAsksOnceAndAWrongOneAgain) {
  UseProxy("BASIC_PROXY");
  const std::string user = Env("PRAVONELL_PROXY_USER"), password = Env("PRAVONELL_PROXY_PASSWORD");
  ASSERT_FALSE(password.empty()) << "run through scripts/test";
  InstallThroughTheProxy([&] {
    EXPECT_EQ(AnswerProxyPrompt(WidenLatin1(user), L"errada"),
              L"O proxy 127.0.0.1 pede usuário e senha para que o Pravonell baixe os arquivos do sistema. "
              L"Informe-os (DOMÍNIO\\usuário, se a rede tiver um domínio).");
    EXPECT_EQ(AnswerProxyPrompt(WidenLatin1(user), WidenLatin1(password)),
              L"O proxy 127.0.0.1 recusou o usuário e a senha. Tente de novo (tentativa 2 de 3).");
  });
  ExpectEveryFileOfThePlanProxied();
  ExpectEveryFileServedAs(user);
  ExpectPasswordNowhere(password);
}

// A domain's proxy asks for NTLM. Without a domain here (Wine has no logon
// session to give), the logon session is refused and the person types a
// domain user, which NTLM then carries, through the system's security
// package, for every file.
TEST_F(ThroughTheProxy, NtlmProxyTakesTheDomainUserTypedWhenTheLogonSessionHasNone) {
  UseProxy("NTLM_PROXY");
  InstallThroughTheProxy([&] { EXPECT_NE(AnswerProxyPrompt(L"EMPRESA\\joana", L"s3nha-da-Joana"), L""); });
  ExpectEveryFileOfThePlanProxied();
  ExpectEveryFileServedAs("EMPRESA\\\\joana");  // squid writes a backslash as two
  ExpectPasswordNowhere("s3nha-da-Joana");
}

// The same behind a proxy that closes the connection after each 407 (NTLM
// keep-alive off): each handshake starts over on a new connection.
TEST_F(ThroughTheProxy, NtlmProxyThatClosesTheConnectionInTheHandshakeStillServesTheRun) {
  UseProxy("NTLM_CLOSE_PROXY");
  InstallThroughTheProxy([&] { EXPECT_NE(AnswerProxyPrompt(L"EMPRESA\\joana", L"s3nha-da-Joana"), L""); });
  ExpectEveryFileOfThePlanProxied();
  ExpectEveryFileServedAs("EMPRESA\\\\joana");
}

}  // namespace
}  // namespace pravonell::testing
