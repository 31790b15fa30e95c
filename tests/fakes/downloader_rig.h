// What a downloader needs around it in the native tests: a recording
// display, a pump that counts, the standard clock and the pumped waits, the
// progress handlers, and an HTTP client over the loopback network.
#pragma once

#include <memory>

#include "engine/http/http_client.h"
#include "engine/progress.h"
#include "engine/waiting.h"
#include "platform/posix/posix_network.h"
#include "tests/fakes/recording_events.h"
#include "tests/fakes/run_fakes.h"

namespace pravonell::testing {

struct DownloaderRig {
  FakeRunPorts display{World{}};
  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits{pump, clock};
  ProgressDisplay progress{display, L"Pravonell"};
  http::HttpClient client{std::make_shared<posix::PosixNetwork>(), pump, waits};
};

}  // namespace pravonell::testing
