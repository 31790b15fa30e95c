#include "platform/win32/win_pauses.h"

#include <windows.h>

namespace pravonell::win32 {

std::uint64_t Win32Pauses::NowMs() { return GetTickCount64(); }

// Wakes as soon as input or any other message arrives for this thread, so a
// pumped wait serves the window at once instead of at the end of its slice.
void Win32Pauses::Sleep(unsigned milliseconds) {
  MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace pravonell::win32
