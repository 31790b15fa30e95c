#include "engine/run_control.h"

#include "engine/error.h"

namespace pravonell {

void RunControl::ProcessMessages() {
  ThrowIfStopped();
  window_.ProcessMessages();
  ThrowIfStopped();
}

void RunControl::ThrowIfStopped() const {
  if (stopRequested_) throw RunStopped{};
}

void GuardedStatusDisplay::SetModuleText(const std::wstring& text) {
  if (Open()) inner_.SetModuleText(text);
}
void GuardedStatusDisplay::SetModuleVisible(bool visible) {
  if (Open()) inner_.SetModuleVisible(visible);
}
void GuardedStatusDisplay::SetStatusText(const std::wstring& text) {
  if (Open()) inner_.SetStatusText(text);
}
void GuardedStatusDisplay::SetStatusVisible(bool visible) {
  if (Open()) inner_.SetStatusVisible(visible);
}
void GuardedStatusDisplay::SetProgressMax(std::int32_t max) {
  if (Open()) inner_.SetProgressMax(max);
}
void GuardedStatusDisplay::SetProgressPosition(std::int32_t position) {
  if (Open()) inner_.SetProgressPosition(position);
}
void GuardedStatusDisplay::SetCaption(const std::wstring& caption) {
  if (Open()) inner_.SetCaption(caption);
}

}  // namespace pravonell
