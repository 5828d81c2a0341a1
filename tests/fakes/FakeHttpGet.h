#pragma once
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tray/HttpGetPort.h"

// Answers every GET with a set response and records the requests.
class FakeHttpGet : public HttpGetPort {
 public:
  std::optional<HttpGetResponse> response;  // nullopt: the exchange fails
  bool throws = false;                      // Get throws, as a failing platform call would
  std::vector<HttpGetRequest> requests;

  FakeHttpGet() = default;
  FakeHttpGet(int32_t status, std::string body, std::u16string charset = u"utf-8")
      : response(HttpGetResponse{status, std::move(charset), std::move(body)}) {}

  std::optional<HttpGetResponse> Get(const HttpGetRequest& request) override {
    requests.push_back(request);
    if (throws) {
      throw std::runtime_error("exchange failed");
    }
    return response;
  }
};
