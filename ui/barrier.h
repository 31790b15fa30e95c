// The exception barrier of every procedure that Windows calls.
//
// An exception must not reach the system's frames: in the 32-bit program it
// cannot unwind through them, and the program would end on the spot. What
// escapes a procedure's body is shown the way the window shows every error,
// and the procedure answers its fallback.
#pragma once

#include <exception>
#include <string>

#include "engine/error.h"
#include "engine/text.h"

namespace pravonell::ui {

// What the error display says of an exception that carries no message.
inline constexpr const wchar_t* kUnexpectedError = L"Erro inesperado.";

// Shows an error that escaped a handler, one at a time: a fault in painting,
// say, would otherwise stack a box for every repaint the first box causes.
void ReportEscaped(const std::wstring& message);

template <typename Result, typename Body>
Result Barrier(Result fallback, Body body) noexcept {
  try {
    return body();
  } catch (const Error& e) {
    ReportEscaped(e.message());
  } catch (const RunStopped&) {
    // a stop that outlived its run: nothing to tell
  } catch (const std::exception& e) {
    ReportEscaped(WidenLatin1(e.what()));
  } catch (...) {
    ReportEscaped(kUnexpectedError);
  }
  return fallback;
}

}  // namespace pravonell::ui
