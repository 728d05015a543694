// URL downloads over libcurl.
#include <curl/curl.h>

#include <algorithm>
#include <mutex>

#include "imaging/io/imaging_io.h"
#include "imaging/io/url_address.h"
#include "platform/streams.h"

namespace zv {
namespace url_download {

struct TTransfer {
  CURL* Curl = nullptr;
  TStream* Stream = nullptr;
  int64_t Received = 0;
  const std::function<bool()>* Aborted = nullptr;
  const std::function<void(int32_t)>* Progress = nullptr;
  bool WriteFailed = false;
};

bool Aborted(const TTransfer& T) { return *T.Aborted && (*T.Aborted)(); }

size_t Write(char* Data, size_t, size_t Count, void* User) {
  auto& T = *static_cast<TTransfer*>(User);
  if (Aborted(T)) return 0;
  try {
    T.Stream->WriteBuffer(Data, int64_t(Count));
  } catch (...) {
    T.WriteFailed = true;
    return 0;
  }
  T.Received += int64_t(Count);
  curl_off_t Expected = -1;
  if (*T.Progress && curl_easy_getinfo(T.Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &Expected) == CURLE_OK &&
      Expected > 0)
    (*T.Progress)(int32_t(std::min<int64_t>(100, T.Received * 100 / Expected)));
  return Count;
}

// Also called while no data come, so that an abort ends a stalled transfer.
int Info(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return Aborted(*static_cast<TTransfer*>(User)) ? 1 : 0;
}

void GlobalInit() {
  static std::once_flag Once;
  std::call_once(Once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace url_download

bool DownloadUrl(const std::string& Url, TStream* Stream, const std::string& Proxy, const std::string& ProxyUser,
                 const std::string& ProxyPassword, const std::function<bool()>& Aborted,
                 const std::function<void(int32_t Percent)>& Progress) {
  TUrlAddress Address;
  if (!ParseUrlAddress(Url, Proxy, ProxyUser, ProxyPassword, Address)) return false;
  url_download::GlobalInit();
  CURL* Curl = curl_easy_init();
  if (Curl == nullptr) return false;
  const char* Scheme = Address.Kind == 1 ? "http://" : Address.Kind == 2 ? "https://" : "ftp://";
  const std::string Target = Scheme + Address.Host + ":" + std::to_string(Address.Port) + Address.Path;
  url_download::TTransfer T;
  T.Curl = Curl;
  T.Stream = Stream;
  T.Aborted = &Aborted;
  T.Progress = &Progress;
  curl_easy_setopt(Curl, CURLOPT_URL, Target.c_str());
  curl_easy_setopt(Curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(Curl, CURLOPT_USERAGENT, "Mozilla/4.0");
  curl_easy_setopt(Curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(Curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(Curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(Curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(Curl, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(Curl, CURLOPT_WRITEFUNCTION, url_download::Write);
  curl_easy_setopt(Curl, CURLOPT_WRITEDATA, &T);
  curl_easy_setopt(Curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(Curl, CURLOPT_XFERINFOFUNCTION, url_download::Info);
  curl_easy_setopt(Curl, CURLOPT_XFERINFODATA, &T);
  if (Address.Proxy.empty()) {
    curl_easy_setopt(Curl, CURLOPT_PROXY, "");
    if (!Address.UserName.empty()) {
      curl_easy_setopt(Curl, CURLOPT_USERNAME, Address.UserName.c_str());
      curl_easy_setopt(Curl, CURLOPT_PASSWORD, Address.Password.c_str());
    }
  } else {
    curl_easy_setopt(Curl, CURLOPT_PROXY, Address.Proxy.c_str());
    if (!Address.UserName.empty()) {
      curl_easy_setopt(Curl, CURLOPT_PROXYUSERNAME, Address.UserName.c_str());
      curl_easy_setopt(Curl, CURLOPT_PROXYPASSWORD, Address.Password.c_str());
    }
  }
  const CURLcode Code = curl_easy_perform(Curl);
  curl_easy_cleanup(Curl);
  return Code == CURLE_OK && !T.WriteFailed && T.Received > 0;
}

void TImagingIO::LoadFromUrl(const std::string& Url) {
  if (HandOff(10, [this, Url] { LoadFromUrl(Url); })) return;
  AbortFlag = 0;
  TMemoryStream Stream;
  const bool Ok = DownloadUrl(
      Url, &Stream, ProxyServer, ProxyUserName, ProxyUserPassword, [this] { return PollAbort(); },
      [this](int32_t Percent) {
        if (ProgressProc) ProgressProc(this, Percent);
      });
  if (Ok) {
    Stream.SetPosition(0);
    LoadFromStream(&Stream);
  } else {
    AbortFlag = 1;
    NotifyFinishWork();
  }
}

}  // namespace zv
