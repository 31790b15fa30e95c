#include "engine/progress.h"

#include <cmath>

namespace pravonell {

namespace {

std::int32_t Low32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

// Rounds value ÷ divisor to a whole number, ties to the even neighbour.
std::int64_t DivideHalfEven(std::int64_t value, std::int64_t divisor) {
  std::int64_t quotient = value / divisor;
  const std::int64_t remainder = value % divisor;
  const std::int64_t twice = 2 * (remainder < 0 ? -remainder : remainder);
  const int sign = (value < 0) != (divisor < 0) ? -1 : 1;
  if (twice > (divisor < 0 ? -divisor : divisor) ||
      (twice == (divisor < 0 ? -divisor : divisor) && quotient % 2 != 0)) {
    quotient += sign;
  }
  return quotient;
}

}  // namespace

std::wstring RetornaPorcentagem(Currency valorMaximo, Currency valorAtual) {
  if (valorMaximo.units == 0) return L"0%";
  // The quotient in extended precision, stored to four places: the default
  // rounding of the floating-point unit sends ties to even.
  const long double percent =
      static_cast<long double>(valorAtual.units) * 100.0L / static_cast<long double>(valorMaximo.units);
  const auto resultado = static_cast<std::int64_t>(std::nearbyint(percent * 10000.0L));
  return std::to_wstring(DivideHalfEven(resultado, 10000)) + L"%";
}

std::wstring AmountText(std::int64_t bytes) {
  const char* unit = "KB";
  double value = static_cast<double>(bytes) / 1024.0;
  if (bytes >= 1024LL * 1024 * 1024) {
    unit = "GB";
    value = static_cast<double>(bytes) / (1024.0 * 1024 * 1024);
  } else if (bytes >= 1024 * 1024) {
    unit = "MB";
    value = static_cast<double>(bytes) / (1024.0 * 1024);
  }
  const auto tenths = static_cast<std::int64_t>(value * 10.0 + 0.5);
  std::wstring text = std::to_wstring(tenths / 10) + L"," + std::to_wstring(tenths % 10) + L" ";
  for (const char* c = unit; *c != '\0'; ++c) text += static_cast<wchar_t>(*c);
  return text;
}

void ProgressDisplay::IdHttpWorkBegin(std::int64_t aWorkCountMax) {
  display_.SetProgressMax(Low32(aWorkCountMax));
  if (line_ != nullptr) line_->Begin(aWorkCountMax);
}

void ProgressDisplay::IdHttpWork(std::int64_t aWorkCount) {
  display_.SetProgressPosition(Low32(aWorkCount));
  const std::int32_t maximum = display_.ProgressMax();
  // Without an announced length there is no percentage to show; the amount
  // received tells the person that the transfer is moving.
  const std::wstring progress =
      maximum > 0 ? RetornaPorcentagem(Currency::FromInteger(maximum), Currency::FromInteger(aWorkCount))
                  : AmountText(aWorkCount);
  display_.SetStatusText(L"Download ... " + progress);
  display_.SetCaption(display_.StatusText());
  if (line_ != nullptr) line_->Work(aWorkCount);
}

void ProgressDisplay::IdHttpWorkEnd() {
  display_.SetProgressPosition(0);
  display_.SetStatusText(L"Download Finalizado ...");
  display_.SetCaption(windowCaption_);
}

void ProgressDisplay::OnReconnect(int attempt, int attempts) {
  display_.SetStatusText(L"Conexão interrompida. Retomando o download... (" + std::to_wstring(attempt) + L" de " +
                         std::to_wstring(attempts) + L")");
}

}  // namespace pravonell
