// The installation run: one synchronous call on the GUI thread that executes
// the install plan, from the directory test to the request that closes the
// window. It speaks to the person through the status display and message
// boxes, stops at the failures it knows, and undoes nothing.
#pragma once

#include <optional>

#include "engine/download_records.h"
#include "engine/install_plan.h"
#include "engine/ports.h"
#include "engine/run_control.h"
#include "engine/vendor_list.h"
#include "engine/waiting.h"

namespace pravonell {

struct RunPorts {
  InstallForm& form;
  FileSystem& files;
  Pauses& clock;
  Waits& waits;
  StatusDisplay& display;  // the guarded display of the run's control
  WindowOps& window;
  RunControl& control;
  Bitness& bitness;
  ReachabilityProbe& probe;
  Downloader& downloader;
  Extraction& extraction;
  Setups& setups;
  Shortcuts& shortcuts;
  CustomerConfig& config;
  InstallOverview& overview;
  // With the vendor's key, every file is checked against the vendor's
  // signed list; without, the run uses what the server sends.
  const VendorKey* vendorKey = nullptr;
  Crypto* crypto = nullptr;
};

struct OptionalSetup;

class InstallationRun {
 public:
  InstallationRun(ProgramState& state, RunPorts ports) : state_(state), p_(ports) {}

  // Returns when the run ends, also when it was asked to stop. Errors raised by
  // the operations it calls (Error) leave it for the window's error display.
  void InstalarSistema();

 private:
  void Run();
  void ShowLabels();
  void HideLabels();
  void ShowMessage(const std::wstring& text);
  // False when the disk had no room for the file (the run then stops).
  // detail: where the run is, for the install page's heading.
  bool Download(const std::wstring& localFile, const std::wstring& label, const std::wstring& urlPath,
                bool showLabels, const std::wstring& detail);
  // winrarSetup: the setup's URL path when it is still to be fetched.
  bool ConfirmVendorList(const wchar_t* winrarSetup);
  bool DownloadProven(const std::wstring& localFile, const std::wstring& label, const std::wstring& urlPath,
                      bool showLabels, const std::wstring& detail);
  bool InstallOptional(const OptionalSetup& setup, const std::wstring& presence,
                       const std::wstring& installer);
  bool CheckURL();
  bool MarkUnfinished();
  bool KeepCustomersConfig();
  void SayNoRoom(const std::wstring& what, std::uint64_t missingBytes);
  static void CloseAfterAFailure(OutputFile& file);
  bool RemoveUnfinishedMark();
  void Overview(InstallStep step, const std::wstring& detail = L"");

  ProgramState& state_;
  RunPorts p_;
  bool succeeded_ = false;
  std::optional<DownloadRecords> records_;
  std::optional<VendorList> list_;
};

}  // namespace pravonell
