// What the window shows while a file is fetched: the progress bar, the
// percentage (or, when no length was announced, the amount received) in the
// status label, and the same text in the title bar.
#pragma once

#include <cstdint>
#include <string>

#include "engine/download_line.h"
#include "engine/http/http_client.h"
#include "engine/ports.h"

namespace pravonell {

// The fixed-point type the percentage is computed in: ten-thousandths.
struct Currency {
  std::int64_t units;  // value × 10000
  static Currency FromInteger(std::int64_t value) { return {value * 10000}; }
};

// ValorAtual × 100 ÷ ValorMaximo, kept to four places, then shown as a whole
// number followed by "%"; both roundings send ties to the even neighbour.
std::wstring RetornaPorcentagem(Currency valorMaximo, Currency valorAtual);

// "1,5 MB": an amount of bytes the way the person reads it.
std::wstring AmountText(std::int64_t bytes);

class ProgressDisplay final : public http::WorkEvents {
 public:
  // line: the heading's line of the download, told of the same events.
  ProgressDisplay(StatusDisplay& display, std::wstring windowCaption, DownloadLine* line = nullptr)
      : display_(display), windowCaption_(std::move(windowCaption)), line_(line) {}

  void IdHttpWorkBegin(std::int64_t aWorkCountMax) override;
  void IdHttpWork(std::int64_t aWorkCount) override;
  void IdHttpWorkEnd() override;
  // "Conexão interrompida. Retomando o download... (1 de 3)"; the bar and
  // the percentage stay where they were.
  void OnReconnect(int attempt, int attempts) override;

 private:
  StatusDisplay& display_;
  std::wstring windowCaption_;
  DownloadLine* line_;
};

}  // namespace pravonell
