// The composition root: the engine's ports bound to this window and to
// their Win32 implementations, and the operations of the run wired to them.
#pragma once

#include "customer/config_writer.h"
#include "engine/download.h"
#include "engine/download_line.h"
#include "engine/extraction.h"
#include "engine/installation_run.h"
#include "engine/progress.h"
#include "engine/run_control.h"
#include "engine/setups.h"
#include "engine/waiting.h"
#include "engine/vendor_list.h"
#include "platform/win32/win_bitness.h"
#include "platform/win32/win_crypto.h"
#include "platform/win32/win_sspi.h"
#include "ui/dialogs.h"
#include "platform/win32/win_files.h"
#include "platform/win32/win_pauses.h"
#include "platform/win32/win_processes.h"
#include "platform/win32/win_profile.h"
#include "platform/win32/win_shell.h"
#include "ui/control_ids.h"
#include "ui/window_ports.h"

namespace pravonell::ui {

class MasterWindow;

// The engine, wired to this window and to the Win32 ports.
struct Engine {
  explicit Engine(MasterWindow& window);

  WindowPorts ports;
  ProgramState state;
  win32::Win32FileSystem files;
  win32::Win32Pauses pauses;
  win32::Win32Bitness bitness;
  win32::Win32Processes processes;
  win32::Win32Shell shell;
  win32::Win32ProfileWriter profile;
  RunControl control{ports};
  // The heading's line of a download: amounts, speed, time left.
  DownloadLine line{ports, pauses, control};
  TickingPump pump{control, line};
  // Every wait of a run goes through this one, so the window is always served.
  PumpedWaits waits{pump, pauses};
  GuardedStatusDisplay display{ports, control};
  ProgressDisplay progress{display, kMainWindowCaption, &line};
  // The network, the vendor's hosts and the proxy lookup, wired in the
  // constructor.
  http::HttpClient client;
  HttpDownloader downloader;
  SiteProbe probe;
  ArchiverExtraction extraction{state, files, processes, waits, pauses, ports, control};
  SetupRunner setups{files, processes, waits, pauses};
  DesktopShortcuts shortcuts{state, shell};
  ConfigWriter config{files, profile, ports};
  win32::Win32Crypto crypto;
  // A proxy that asks who you are: the logon session through the system's
  // security packages, or what the person types in the system's prompt.
  win32::Win32SecurityPackages securityPackages;
  ProxyPrompt proxyPrompt;
  http::ProxyAuthenticator proxyAuth{securityPackages, proxyPrompt};
  // The vendor's key as the build gives it; without one, files are not checked.
  std::optional<VendorKey> vendorKey = BuiltVendorKey();
  InstallationRun run{state, RunPorts{ports, files, pauses, waits, display, ports, control, bitness, probe,
                                      downloader, extraction, setups, shortcuts, config, line,
                                      vendorKey ? &*vendorKey : nullptr, &crypto}};

  static std::optional<VendorKey> BuiltVendorKey();
};

}  // namespace pravonell::ui
