// Unpacking the downloaded archives with the external archiver, and removing
// them at the end of a successful run.
#pragma once

#include "engine/install_plan.h"
#include "engine/ports.h"

namespace pravonell {

class ArchiverExtraction final : public Extraction {
 public:
  ArchiverExtraction(ProgramState& state, FileSystem& files, Processes& processes, Pauses& pauses,
                     WindowOps& window, MessagePump& pump)
      : state_(state), files_(files), processes_(processes), pauses_(pauses), window_(window),
        pump_(pump) {}

  // Starts the archiver hidden and waits for it, handling window messages
  // meanwhile; true only when it ran and ended with exit code 0.
  bool DescompactarWINRAR(const std::wstring& origem, const std::wstring& destino,
                          const std::wstring& tipo, bool win64) override;
  void DeletaArquivosRAR() override;

  // The archiver's command line for one archive.
  static std::wstring CommandLine(const std::wstring& origem, const std::wstring& destino,
                                  const std::wstring& tipo, bool win64);

 private:
  ProgramState& state_;
  FileSystem& files_;
  Processes& processes_;
  Pauses& pauses_;
  WindowOps& window_;
  MessagePump& pump_;
};

}  // namespace pravonell
