#include "tray/UpdateCheck.h"

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/Shell.h"
#include "tray/UpdateAnswer.h"

int32_t CheckForUpdate(HttpGetPort& http) noexcept {
  return guarded_or(int32_t{-1}, [&] {
    HttpGetRequest request;
    request.path = UpdateRequest::Path;
    request.query = UpdateRequest::Query;
    request.userAgent = UpdateRequest::UserAgent;
    request.maxBodyBytes = UpdateRequest::MaxBodyBytes;
    const auto response = http.Get(request);
    // Anything but a success status, redirections included, leaves the body empty.
    if (!response || response->status < 200 || response->status > 299) {
      return int32_t{-1};
    }
    // The cap holds even against a port that reads more than it was asked to.
    const std::string_view body = std::string_view(response->body).substr(0, request.maxBodyBytes);
    return UpdateAnswerOfBody(body, response->charset);
  });
}

void TrayIconBalloonClick(LauncherPort& launcher) noexcept {
  guarded(
      [&] { OpenWithShellUnowned(launcher, ProgramFile(launcher, Constants::UpdaterFile), u""); });
}
