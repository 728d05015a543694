// The command-line checkers the format tests hand their files to (pngcheck, Pillow, the OpenJPEG
// tools): finding them, running them, and the files they share with the tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zv::oracle {

using Bytes = std::vector<uint8_t>;

inline std::string FindProgram(const std::string& Name) {
  const char* Path = std::getenv("PATH");
  const std::string All = std::string(Path != nullptr ? Path : "") + ":/usr/bin:/bin";
  size_t Start = 0;
  while (Start <= All.size()) {
    size_t Colon = All.find(':', Start);
    if (Colon == std::string::npos) Colon = All.size();
    const std::string Candidate = All.substr(Start, Colon - Start) + "/" + Name;
    if (Colon > Start && access(Candidate.c_str(), X_OK) == 0) return Candidate;
    Start = Colon + 1;
  }
  return "";
}

struct RunResult {
  int Status = -1;  // the exit code, -1 when the program could not run
  std::string Output;  // standard output and standard error together
};

inline RunResult Run(const std::string& Command) {
  RunResult Result;
  FILE* P = popen((Command + " 2>&1").c_str(), "r");
  if (P == nullptr) return Result;
  char Buffer[4096];
  size_t N = 0;
  while ((N = std::fread(Buffer, 1, sizeof Buffer, P)) > 0) Result.Output.append(Buffer, N);
  const int Status = pclose(P);
  Result.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  return Result;
}

inline std::string Quoted(const std::string& Text) {
  std::string Q = "'";
  for (char c : Text) Q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return Q + "'";
}

// A Python that can import Pillow: the system's own first, since Pillow comes as a Debian package.
inline std::string PythonWithPillow() {
  static const std::string Found = [] {
    for (const std::string& Name : std::vector<std::string>{"/usr/bin/python3", FindProgram("python3")}) {
      if (Name.empty() || access(Name.c_str(), X_OK) != 0) continue;
      if (Run(Quoted(Name) + " -c 'import PIL.Image'").Status == 0) return Name;
    }
    return std::string();
  }();
  return Found;
}

inline std::string TempPath(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/" + Name; }

inline void WriteFile(const std::string& Path, const Bytes& Data) {
  std::ofstream F(Path, std::ios::binary | std::ios::trunc);
  F.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}

inline Bytes ReadFile(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>());
}

inline void MakeDirectory(const std::string& Path) { mkdir(Path.c_str(), 0755); }

}  // namespace zv::oracle
