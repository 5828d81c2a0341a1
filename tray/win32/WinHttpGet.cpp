#include "tray/win32/WinHttpGet.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "foundation/base/win32/WideText.h"
#include "tray/UpdateAnswer.h"
#include "tray/win32/WinHttpHandle.h"

namespace {

using Clock = std::chrono::steady_clock;

const WinHttpApi& Api() {
  return WinHttpApi::Get();
}
using std::chrono::milliseconds;

// The caller's thread (the tray's main thread) waits for the whole exchange, so every step has
// its own limit, the body is read only while the exchange is young enough for one more read to
// end in time, and the caller stops waiting altogether after CallerWaits.
constexpr DWORD ResolveTimeoutMs = 3000;
constexpr DWORD ConnectTimeoutMs = 3000;
constexpr DWORD SendTimeoutMs = 3000;
constexpr DWORD ReceiveTimeoutMs = 3000;  // the response headers, and each wait for body bytes
constexpr milliseconds LastReadStart{10000};
constexpr milliseconds CallerWaits{14000};
constexpr milliseconds WholeExchange{15000};
static_assert(milliseconds(ResolveTimeoutMs + ConnectTimeoutMs + SendTimeoutMs + ReceiveTimeoutMs) <
              CallerWaits);
static_assert(LastReadStart + milliseconds(ReceiveTimeoutMs) < CallerWaits);
static_assert(CallerWaits < WholeExchange);

bool SetDword(HINTERNET handle, DWORD option, DWORD value) {
  return Api().SetOption(handle, option, &value, sizeof(value)) != FALSE;
}

std::optional<int32_t> StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!Api().QueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return static_cast<int32_t>(status);
}

// Empty when the response has no Content-Type.
std::u16string ContentType(HINTERNET request) {
  DWORD size = 0;
  Api().QueryHeaders(request, WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX,
                     WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    return {};
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!Api().QueryHeaders(request, WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX,
                          text.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  text.resize(size / sizeof(wchar_t));
  return FromWide(text);
}

// Reads the body up to the cap. Fails when the exchange breaks or runs out of time: a server
// that dribbles bytes would otherwise keep every single wait short and the exchange endless.
bool ReadBody(HINTERNET request, size_t maxBytes, Clock::time_point start, std::string& body) {
  while (body.size() < maxBytes) {
    if (Clock::now() - start >= LastReadStart) {
      return false;
    }
    DWORD available = 0;
    if (!Api().QueryDataAvailable(request, &available)) {
      return false;
    }
    if (available == 0) {
      return true;  // end of the body
    }
    const size_t wanted = std::min<size_t>(available, maxBytes - body.size());
    const size_t old = body.size();
    body.resize(old + wanted);
    DWORD read = 0;
    if (!Api().ReadData(request, body.data() + old, static_cast<DWORD>(wanted), &read)) {
      return false;
    }
    body.resize(old + read);
    if (read == 0) {
      return true;
    }
  }
  return true;  // the cap: the rest is never read
}

// What the caller and the thread doing the exchange share. The exchange can outlive the call
// when a server keeps it going past every single time-out (Wine applies the header time-out to
// each read, so a server dribbling header bytes is not stopped by it).
struct Exchange {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  HINTERNET request = nullptr;  // open while the exchange may use it
  std::optional<HttpGetResponse> response;

  // Hands the request handle over; false (and the handle closed) when the caller gave up.
  bool Register(HINTERNET handle) {
    std::lock_guard lock(mutex);
    if (abandoned) {
      Api().CloseHandle(handle);
      return false;
    }
    request = handle;
    return true;
  }

  // Closing the request handle is how WinHTTP cancels a synchronous call in progress on it.
  // Whichever side comes first closes it, once.
  void CloseRequest() {
    if (request != nullptr) {
      Api().CloseHandle(request);
      request = nullptr;
    }
  }

  void Finish(std::optional<HttpGetResponse> result) {
    std::lock_guard lock(mutex);
    CloseRequest();
    response = std::move(result);
    done = true;
    finished.notify_all();
  }
};

std::optional<HttpGetResponse> Run(Exchange& exchange, const std::u16string& host, uint16_t port,
                                   const HttpGetRequest& request) {
  const auto start = Clock::now();
  if (!Api().Complete()) {
    return std::nullopt;
  }
  const UniqueInternet session(Api().Open(Wide(request.userAgent).c_str(),
                                          WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                          WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session || !Api().SetTimeouts(session.get(), ResolveTimeoutMs, ConnectTimeoutMs,
                                     SendTimeoutMs, ReceiveTimeoutMs)) {
    return std::nullopt;
  }
  const UniqueInternet connection(Api().Connect(session.get(), Wide(host).c_str(), port, 0));
  if (!connection) {
    return std::nullopt;
  }
  std::u16string object = request.path;
  if (!request.query.empty()) {
    object += u'?';
    object += request.query;
  }
  HINTERNET get = Api().OpenRequest(connection.get(), L"GET", Wide(object).c_str(), nullptr,
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
  if (get == nullptr || !exchange.Register(get)) {
    return std::nullopt;
  }
  // Under Wine the receive time-out alone does not end a wait for headers that never come; a
  // host with several addresses would otherwise be tried once per address.
  if (!SetDword(get, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, ReceiveTimeoutMs) ||
      !SetDword(get, WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER) ||
      !SetDword(get, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES)) {
    return std::nullopt;
  }
  SetDword(get, WINHTTP_OPTION_CONNECT_RETRIES, 1);
  if (!Api().SendRequest(get, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !Api().ReceiveResponse(get, nullptr)) {
    return std::nullopt;
  }
  const auto status = StatusCode(get);
  if (!status) {
    return std::nullopt;
  }
  HttpGetResponse response;
  response.status = *status;
  response.charset = CharsetOfContentType(ContentType(get));
  if (!ReadBody(get, request.maxBodyBytes, start, response.body)) {
    return std::nullopt;
  }
  return response;
}

}  // namespace

WinHttpGet::WinHttpGet(std::u16string host, uint16_t port) : host_(std::move(host)), port_(port) {}

std::optional<HttpGetResponse> WinHttpGet::Get(const HttpGetRequest& request) {
  const auto deadline = Clock::now() + CallerWaits;
  auto exchange = std::make_shared<Exchange>();
  std::thread worker([exchange, host = host_, port = port_, request] {
    std::optional<HttpGetResponse> result;
    try {
      result = Run(*exchange, host, port, request);
    } catch (...) {
      result.reset();
    }
    exchange->Finish(std::move(result));
  });
  std::unique_lock lock(exchange->mutex);
  if (exchange->finished.wait_until(lock, deadline, [&] { return exchange->done; })) {
    lock.unlock();
    worker.join();
    return std::move(exchange->response);
  }
  // Too late: cancel what is in progress and leave the rest to the worker, which owns a share of
  // the exchange and ends as soon as its current call does.
  exchange->abandoned = true;
  exchange->CloseRequest();
  lock.unlock();
  worker.detach();
  return std::nullopt;
}
