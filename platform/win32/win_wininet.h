// The reachability probe's one request, over WinINet.
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

// One WinINet request; the status code as text, or "" when none was read.
class WinInetProbe final : public StatusProbe {
 public:
  std::wstring QueryStatus(const std::wstring& address) override;
};

}  // namespace pravonell::win32
