// Processes and a shell that record what they were asked to do.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/ports.h"
#include "tests/fakes/text.h"

namespace pravonell::testing {

class FakeProcesses final : public Processes {
 public:
  std::vector<std::string>& log;
  std::vector<std::uint32_t> firstStartErrors;  // what the first plain starts answer, in order
  std::uint32_t startError = 0;     // a plain start fails with this code when not 0
  std::uint32_t elevatedError = 0;  // likewise a start through the elevation prompt
  std::uint32_t exitCode = 0;
  int waitsBeforeEnd = 0;  // Wait calls answered "still running" first
  // What a started program does before it is waited for (an archiver's files).
  std::function<void(const std::wstring& commandLine)> onStart;

  explicit FakeProcesses(std::vector<std::string>& shared) : log(shared) {}

  Started Start(const std::wstring& commandLine, bool hidden) override {
    log.push_back(std::string(hidden ? "start hidden " : "start ") + Utf8(commandLine));
    if (onStart && startError == 0) onStart(commandLine);
    if (starts_ < firstStartErrors.size()) {
      const std::uint32_t error = firstStartErrors[starts_++];
      if (error != 0) return {nullptr, error};
      return {std::make_unique<FakeProcess>(*this), 0};
    }
    if (startError != 0) return {nullptr, startError};
    return {std::make_unique<FakeProcess>(*this), 0};
  }
  Started StartElevated(const std::wstring& program) override {
    log.push_back("start elevated " + Utf8(program));
    if (elevatedError != 0) return {nullptr, elevatedError};
    return {std::make_unique<FakeProcess>(*this), 0};
  }

 private:
  std::size_t starts_ = 0;

  class FakeProcess final : public Process {
   public:
    explicit FakeProcess(FakeProcesses& owner) : owner_(owner), left_(owner.waitsBeforeEnd) {}
    ~FakeProcess() override { owner_.log.push_back("handles closed"); }
    bool Wait(unsigned ms) override {
      owner_.log.push_back(ms == kForever ? "wait forever" : "wait " + std::to_string(ms));
      return ms == kForever || left_-- <= 0;
    }
    std::uint32_t ExitCode() override { return owner_.exitCode; }
    void Terminate() override { owner_.log.push_back("terminate"); }

   private:
    FakeProcesses& owner_;
    int left_;
  };
};

class FakeShell final : public Shell {
 public:
  std::vector<std::string>& log;
  std::wstring desktop = L"C:\\Users\\ana\\Desktop";
  explicit FakeShell(std::vector<std::string>& shared) : log(shared) {}
  std::wstring DesktopFolder() override { return desktop; }
  void SaveShellLink(const ShellLink& link, const std::wstring& file) override {
    log.push_back("link " + Utf8(file) + " | " + Utf8(link.description) + " | " + Utf8(link.target) +
                  " | '" + Utf8(link.arguments) + "' | " + Utf8(link.workingDirectory));
  }
};

}  // namespace pravonell::testing
