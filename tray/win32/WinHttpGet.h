#pragma once
#include <cstdint>
#include <string>

#include "tray/HttpGetPort.h"
#include "tray/UpdateCheck.h"

// One GET through WinHTTP with a session made for the call and closed before it returns.
// The machine's WinHTTP proxy setting is used; redirections and cookies are off.
class WinHttpGet : public HttpGetPort {
 public:
  // The program asks the build's update server; tests point the getter at a server of their own.
  explicit WinHttpGet(std::u16string host = std::u16string(UpdateRequest::Host),
                      uint16_t port = UpdateRequest::Port);

  std::optional<HttpGetResponse> Get(const HttpGetRequest& request) override;

 private:
  std::u16string host_;
  uint16_t port_;
};
