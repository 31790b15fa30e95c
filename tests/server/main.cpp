// The stand-in of the vendor's hosts: serves a folder over HTTP on loopback.
//   pravonell-test-server --root DIR --listen PORT [--listen PORT] [--log FILE]
// Prints "listening PORT..." once ready and runs until it is killed.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "tests/server/test_server.h"

int main(int argc, char** argv) {
  std::string root = ".", log;
  std::vector<std::uint16_t> ports;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--root") root = argv[i + 1];
    else if (option == "--listen") ports.push_back(static_cast<std::uint16_t>(std::atoi(argv[i + 1])));
    else if (option == "--log") log = argv[i + 1];
    else {
      std::fprintf(stderr, "unknown option %s\n", option.c_str());
      return 2;
    }
  }
  if (ports.empty()) ports.push_back(0);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  try {
    pravonell::testserver::Server server(pravonell::testserver::FileSite(root, log), ports);
    std::printf("listening");
    for (std::size_t i = 0; i < ports.size(); ++i) std::printf(" %u", server.port(i));
    std::printf("\n");
    std::fflush(stdout);
    int signal = 0;
    sigwait(&signals, &signal);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
