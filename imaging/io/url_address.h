// The parts of an "http://", "https://" or "ftp://" address that a download connects with: host, port,
// path, the credentials to send and whether the connection goes through a proxy.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zv {

enum class TUrlService : int32_t { Ftp = 1, Http = 3 };

struct TUrlAddress {
  int32_t Kind = 0;  // UrlKind: 1 http, 2 https, 3 ftp
  TUrlService Service = TUrlService::Http;
  std::string Host;
  int32_t Port = 0;
  std::string Path;  // from the first "/" after the host part, "/" included
  std::string UserName;  // what the connection sends: the proxy's credentials when a proxy is set
  std::string Password;
  std::string Proxy;  // empty: direct connection
};

// Splits Url into the address a download uses. False when the scheme is not one of the three, the
// address has no path, a host part with "@" has no ":" before it, or the port is outside 1..65535. A port
// text that is not a number gives 80 whatever the scheme.
bool ParseUrlAddress(const std::string& Url, const std::string& Proxy, const std::string& ProxyUser,
                     const std::string& ProxyPassword, TUrlAddress& Address);

class TStream;

// Appends the resource at Url to Stream. HTTPS checks the server's certificate and host name; an HTTP
// status of 400 or above, a cut transfer or an empty resource fail. Progress, when given, gets the
// percentage of an announced length (never above 100); Aborted, when given, is asked on the transfer's
// thread, also while no data come, and true ends the transfer (failing it). False when the address
// cannot be used or the transfer failed.
bool DownloadUrl(const std::string& Url, TStream* Stream, const std::string& Proxy, const std::string& ProxyUser,
                 const std::string& ProxyPassword, const std::function<bool()>& Aborted,
                 const std::function<void(int32_t Percent)>& Progress);

}  // namespace zv
