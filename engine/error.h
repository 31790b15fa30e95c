// Errors that end an installation run and reach the window's error display.
//
// The engine raises Error with the text the person at the PC is to read; the
// window shows it with the error icon. RunStopped is not an error: it unwinds a
// run whose window asked it to stop, and the run swallows it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace pravonell {

class Error : public std::exception {
 public:
  explicit Error(std::wstring message) : message_(std::move(message)) {}
  const std::wstring& message() const noexcept { return message_; }
  const char* what() const noexcept override { return "pravonell::Error"; }

 private:
  std::wstring message_;
};

// The disk of the installation folder has no room for what is still to be
// written: missingBytes more would be needed (0 when unknown).
class DiskFull final : public Error {
 public:
  DiskFull(std::wstring message, std::uint64_t missingBytes)
      : Error(std::move(message)), missingBytes_(missingBytes) {}
  std::uint64_t missingBytes() const noexcept { return missingBytes_; }

 private:
  std::uint64_t missingBytes_;
};

class RunStopped final {};

}  // namespace pravonell
