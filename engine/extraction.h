// Unpacking the downloaded archives with the external archiver, and removing
// them at the end of a successful run.
#pragma once

#include "engine/install_plan.h"
#include "engine/ports.h"
#include "engine/waiting.h"

namespace pravonell {

class ArchiverExtraction final : public Extraction {
 public:
  ArchiverExtraction(ProgramState& state, FileSystem& files, Processes& processes, Waits& waits,
                     Pauses& clock, WindowOps& window, MessagePump& pump, HeldFileRetry retry = {})
      : state_(state), files_(files), processes_(processes), waits_(waits), clock_(clock),
        window_(window), pump_(pump), retry_(retry) {}

  // Starts the archiver hidden and waits for it, handling window messages
  // meanwhile; true only when it ran and ended with exit code 0. The
  // database archive is unpacked beside Dados and only what Dados lacks is
  // moved in, so a file there is never replaced nor left half-written.
  // An archiver that cannot be started for a passing reason is tried again
  // for a while; one that never starts leaves its reason in ArchiverStartFailure.
  bool DescompactarWINRAR(const std::wstring& origem, const std::wstring& destino,
                          const std::wstring& tipo, bool win64) override;
  std::wstring ArchiverStartFailure() const override { return startFailure_; }
  // Removes the nine archives; one that another program holds (an antivirus)
  // is tried again for a while, and one that stays held is left.
  void DeletaArquivosRAR() override;

  // The archiver's command line for one archive.
  static std::wstring CommandLine(const std::wstring& origem, const std::wstring& destino,
                                  const std::wstring& tipo, bool win64);

 private:
  bool RunArchiver(const std::wstring& commandLine, bool win64);
  bool MoveDatabaseIn(const std::wstring& staging, const std::wstring& dados);
  bool MoveMissing(const std::wstring& from, const std::wstring& to);
  // Raises Error when the folder is a link: nothing is written through it.
  void RefuseLink(const std::wstring& folder);

  ProgramState& state_;
  FileSystem& files_;
  Processes& processes_;
  Waits& waits_;
  Pauses& clock_;
  WindowOps& window_;
  MessagePump& pump_;
  HeldFileRetry retry_;
  std::wstring startFailure_;
};

}  // namespace pravonell
