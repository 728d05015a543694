// An address from outside through the URL load's parser: the address on the first line, then the
// proxy, its user name and its password on the following lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/io/url_address.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::vector<std::string> Lines(1);
  for (size_t i = 0; i < Size; ++i) {
    if (Data[i] == '\n' && Lines.size() < 4)
      Lines.emplace_back();
    else
      Lines.back().push_back(char(Data[i]));
  }
  Lines.resize(4);
  TUrlAddress A;
  if (!ParseUrlAddress(Lines[0], Lines[1], Lines[2], Lines[3], A)) return 0;
  fuzz::Expect(A.Kind >= 1 && A.Kind <= 3, "an unknown scheme accepted");
  fuzz::Expect(A.Port >= 1 && A.Port <= 65535, "a port out of range");
  fuzz::Expect(!A.Path.empty() && A.Path[0] == '/', "a path that does not start with /");
  fuzz::Expect(A.Proxy == Lines[1], "the proxy changed");
  if (!A.Proxy.empty()) fuzz::Expect(A.UserName == Lines[2] && A.Password == Lines[3], "not the proxy's credentials");
  fuzz::Expect(Lines[0].find(A.Host) != std::string::npos, "a host that is not in the address");
  return 0;
}
