#include "imaging/io/url_address.h"

#include "imaging/core/sys_text.h"
#include "platform/sysutils.h"

namespace zv {

bool ParseUrlAddress(const std::string& Url, const std::string& Proxy, const std::string& ProxyUser,
                     const std::string& ProxyPassword, TUrlAddress& Address) {
  Address = TUrlAddress{};
  const int32_t kind = UrlKind(Url);
  size_t schemeLength = 0;
  switch (kind) {
    case 1: schemeLength = 7; break;
    case 2: schemeLength = 8; break;
    case 3: schemeLength = 6; break;
    default: return false;
  }
  const std::string rest = Url.substr(schemeLength);
  const size_t slash = rest.find('/');
  if (slash == std::string::npos) return false;
  std::string hostPart = rest.substr(0, slash);
  Address.Path = rest.substr(slash);

  std::string user, password;
  const size_t at = hostPart.find('@');
  if (at != std::string::npos) {
    const size_t colon = hostPart.find(':');
    if (colon == std::string::npos) return false;
    user = hostPart.substr(0, colon);
    password = colon < at ? hostPart.substr(colon + 1, at - colon - 1) : std::string();
    hostPart = hostPart.substr(at + 1);
  }

  const size_t colon = hostPart.find(':');
  if (colon != std::string::npos) {
    int64_t port = 0;
    if (!TryStrToInt64(hostPart.substr(colon + 1), port)) port = 80;
    if (port < 1 || port > 65535) return false;
    Address.Port = static_cast<int32_t>(port);
    Address.Host = hostPart.substr(0, colon);
  } else {
    Address.Host = hostPart;
    Address.Port = kind == 1 ? 80 : kind == 2 ? 443 : 21;
  }

  Address.Kind = kind;
  Address.Service = kind == 3 ? TUrlService::Ftp : TUrlService::Http;
  Address.Proxy = Proxy;
  Address.UserName = Proxy.empty() ? user : ProxyUser;
  Address.Password = Proxy.empty() ? password : ProxyPassword;
  return true;
}

}  // namespace zv
