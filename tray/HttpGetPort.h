#pragma once
// One HTTP GET exchange, as the update check needs it: status, character set and a bounded body.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct HttpGetRequest {
  std::u16string path;   // "/downloads/update/"
  std::u16string query;  // without the leading "?"
  std::u16string userAgent;
  // The body is read no further than this; a longer body is cut here, which is not a failure.
  size_t maxBodyBytes = 0;
};

struct HttpGetResponse {
  int32_t status = 0;
  // The charset parameter of the Content-Type header, unquoted; empty when the response names none.
  std::u16string charset;
  std::string body;  // raw bytes after transfer decoding, at most maxBodyBytes of them
};

class HttpGetPort {
 public:
  virtual ~HttpGetPort() = default;

  // One GET over plain HTTP with a client made for this call and released before it returns.
  // Redirections are not followed: a 3xx answer is returned as it is. Every wait is bounded.
  // nullopt: no answer (name resolution, connection, time-out, broken exchange).
  virtual std::optional<HttpGetResponse> Get(const HttpGetRequest& request) = 0;
};
