// An Xvfb server for one test's life. The server picks its own display number and reports it through a
// pipe (-displayfd), so it only ever answers on a number whose every socket it could take: two tests, or
// two test runs on one machine, never end up talking to the same server.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/imaging/formats/oracle_tools.h"

namespace zv::test {

class VirtualDisplay {
public:
  VirtualDisplay() = default;
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  ~VirtualDisplay() { Stop(); }

  // Starts a server with one screen of Width x Height x 24 and a black root window; false when Xvfb
  // is missing or did not come up within 20 seconds.
  bool Start(int Width, int Height) {
    const std::string Xvfb = oracle::FindProgram("Xvfb");
    if (Xvfb.empty()) return false;
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0) return false;
    // The server's end stays open across exec: a spawned copy without O_CLOEXEC.
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    constexpr int ServerFd = 3;
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], ServerFd);
    const std::string Screen = std::to_string(Width) + "x" + std::to_string(Height) + "x24";
    const std::string Fd = std::to_string(ServerFd);
    const char* Argv[] = {Xvfb.c_str(), "-displayfd", Fd.c_str(), "-screen", "0",   Screen.c_str(),
                          "-br",        "-nolisten",  "tcp",      "-noreset", nullptr};
    const bool Spawned =
        posix_spawn(&Pid, Xvfb.c_str(), &Actions, nullptr, const_cast<char**>(Argv), environ) == 0;
    posix_spawn_file_actions_destroy(&Actions);
    close(Pipe[1]);
    if (!Spawned) {
      Pid = 0;
      close(Pipe[0]);
      return false;
    }
    // The number arrives as a line once the server listens.
    std::string Number;
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < Deadline) {
      pollfd P{Pipe[0], POLLIN, 0};
      if (poll(&P, 1, 100) <= 0) continue;
      char Buffer[16];
      const ssize_t N = read(Pipe[0], Buffer, sizeof Buffer);
      if (N <= 0) break;  // the server ended
      Number.append(Buffer, size_t(N));
    }
    close(Pipe[0]);
    if (Number.empty() || Number.find('\n') == std::string::npos) {
      Stop();
      return false;
    }
    Display = ':' + Number.substr(0, Number.find('\n'));
    return true;
  }

  void Stop() {
    if (Pid > 0) {
      kill(Pid, SIGTERM);
      int Status;
      waitpid(Pid, &Status, 0);
      Pid = 0;
    }
  }

  // ":N" once started.
  const std::string& Name() const { return Display; }

private:
  pid_t Pid = 0;
  std::string Display;
};

}  // namespace zv::test
