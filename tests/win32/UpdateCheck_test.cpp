// The update check through WinHTTP against a real local HTTP server (a Python script of the
// project's, started by this test as a Unix program: Wine starts those through CreateProcessW).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/Shell.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Launcher.h"
#include "tray/UpdateCheck.h"
#include "tray/win32/WinHttpGet.h"
#include "win32/support/RealPorts.h"
#include "win32/support/WineTestSupport.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr size_t Cap = UpdateRequest::MaxBodyBytes;

std::string Hex(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::u16string Ascii(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

// A Unix path as Wine's Z: drive shows it.
std::wstring WinePath(const std::string& unixPath) {
  std::wstring out = L"Z:";
  for (const char c : unixPath) {
    out += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  }
  return out;
}

// The stand-in update server, one for the whole test program. It ends by itself after ten
// minutes, so a crashed test leaves nothing running for long.
class UpdateServer {
 public:
  static UpdateServer& Instance() {
    static UpdateServer server;
    return server;
  }

  uint16_t port() const { return port_; }

  // A getter aimed at the stand-in server instead of the build's update host.
  WinHttpGet Getter() const { return WinHttpGet(u"127.0.0.1", port_); }

  // Sends one control request; its body, or "" when it failed.
  std::string Control(std::u16string_view path, std::string_view query = {}) const {
    HttpGetRequest request;
    request.path = path;
    request.query = Ascii(query);
    request.userAgent = u"update-check-test";
    request.maxBodyBytes = 16 * Cap;
    WinHttpGet http = Getter();
    const auto response = http.Get(request);
    return response && response->status == 200 ? response->body : std::string();
  }

  // How the server answers the update request from now on.
  void Answer(std::string_view query) const {
    ASSERT_EQ(Control(u"/__set", query), "set") << query;
    ASSERT_EQ(Control(u"/__reset"), "reset");
  }

  // The heads of the update requests the server saw since the last Answer.
  std::vector<std::string> Requests() const {
    std::vector<std::string> heads;
    const std::string log = Control(u"/__log");
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n----\r\n", start)) != std::string::npos;
         start = end + 8) {
      heads.push_back(log.substr(start, end - start));
    }
    return heads;
  }

  void Quit() const { Control(u"/__quit"); }

 private:
  UpdateServer() {
    std::string source = __FILE__;
    source = source.substr(0, source.find_last_of("/\\") + 1) + "support/update_server.py";
    const std::string portFile = "/tmp/nimbello-update-server-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64()) + ".port";
    std::wstring command = L"/usr/bin/python3 " + Widened(source) + L" --port-file " +
                           Widened(portFile) + L" --lifetime 600 --hold 30";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
      ADD_FAILURE() << "cannot start the update server: " << GetLastError();
      return;
    }
    // Wine hands back no usable handles for a Unix program; the server stops on /__quit.
    if (pi.hProcess != nullptr) {
      CloseHandle(pi.hProcess);
    }
    if (pi.hThread != nullptr) {
      CloseHandle(pi.hThread);
    }
    const auto deadline = Clock::now() + 30s;
    while (Clock::now() < deadline) {
      const auto lines = wine_test::ReadLines(WinePath(portFile));
      const unsigned long port = lines.empty() ? 0 : std::strtoul(lines[0].c_str(), nullptr, 10);
      if (port > 0 && port < 65536) {
        port_ = static_cast<uint16_t>(port);
        return;
      }
      Sleep(50);
    }
    ADD_FAILURE() << "the update server did not report its port";
  }

  static std::wstring Widened(const std::string& text) {
    return std::wstring(text.begin(), text.end());
  }

  uint16_t port_ = 0;
};

// Stops the server while the test program can still make requests.
class StopServer : public ::testing::Environment {
 public:
  void TearDown() override { UpdateServer::Instance().Quit(); }
};
const auto* const stopServer = ::testing::AddGlobalTestEnvironment(new StopServer);

struct Timed {
  int32_t answer;
  std::chrono::milliseconds took;
};

Timed CheckTimed() {
  WinHttpGet http = UpdateServer::Instance().Getter();
  const auto start = Clock::now();
  const int32_t answer = CheckForUpdate(http);
  return {answer, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)};
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(UpdateServer::Instance().port(), 0); }
  const UpdateServer& server() { return UpdateServer::Instance(); }
};

TEST_F(UpdateCheckTest, SendsTheFixedRequestOnce) {
  server().Answer("body=" + Hex("VELTRA|1"));
  EXPECT_EQ(CheckTimed().answer, 1);
  const auto heads = server().Requests();
  ASSERT_EQ(heads.size(), 1u);
  std::istringstream lines(heads[0]);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "GET /downloads/update/?product=nimbello&version=6.2.28.2011 HTTP/1.1\r");
  std::vector<std::string> headers;
  while (std::getline(lines, line)) {
    headers.push_back(line.substr(0, line.size() - (line.ends_with('\r') ? 1 : 0)));
  }
  const auto has = [&](const std::string& header) {
    return std::find(headers.begin(), headers.end(), header) != headers.end();
  };
  EXPECT_TRUE(has("User-Agent: Mozilla/4.0 (compatible; VELTRA)")) << heads[0];
  EXPECT_TRUE(has("Host: 127.0.0.1:" + std::to_string(server().port()))) << heads[0];
  for (const auto& header : headers) {
    EXPECT_FALSE(header.starts_with("Cookie") || header.starts_with("Content-Length") ||
                 header.starts_with("Transfer-Encoding"))
        << header;
  }
  std::printf("request head:\n%s\n", heads[0].c_str());
}

TEST_F(UpdateCheckTest, AnswersByStatusAndBody) {
  struct Case {
    const char* what;
    std::string query;
    int32_t answer;
  };
  const std::string token1 = Hex("VELTRA|1");
  const Case cases[] = {
      {"200 no update", "body=" + Hex("VELTRA|0"), 0},
      {"200 update", "body=" + Hex("<html>VELTRA|1</html>\r\n"), 1},
      {"200 third", "body=" + Hex("\nVELTRA|2\n"), 2},
      {"200 several", "body=" + Hex("VELTRA|1 VELTRA|2 VELTRA|0"), 0},
      {"200 small letters", "body=" + Hex("veltra|1"), -1},
      {"200 empty", "body=", -1},
      {"204", "status=204&body=", -1},
      {"299", "status=299&body=" + token1, 1},
      {"404", "status=404&body=" + token1, -1},
      {"500", "status=500&body=" + token1, -1},
      {"302 not followed", "status=302&location=/downloads/update/&body=" + token1, -1},
      {"301 elsewhere", "status=301&location=http://127.0.0.1:1/&body=" + token1, -1},
  };
  for (const auto& c : cases) {
    server().Answer(c.query);
    EXPECT_EQ(CheckTimed().answer, c.answer) << c.what;
    // One request each: a redirection is never followed.
    EXPECT_EQ(server().Requests().size(), 1u) << c.what;
  }
}

TEST_F(UpdateCheckTest, BodyDecodedByTheResponsesCharset) {
  using namespace std::string_literals;
  struct Case {
    const char* type;
    std::string body;
    int32_t answer;
  };
  const std::string utf16le = "V\0E\0L\0T\0R\0A\0|\0001\0"s;
  const std::string utf16be = "\0V\0E\0L\0T\0R\0A\0|\0002"s;
  const Case cases[] = {
      {"text/plain; charset=utf-16le", utf16le, 1},
      {"text/plain; charset=UTF-16BE", utf16be, 2},
      {"text/plain; charset=\"utf-16\"", "\xFF\xFE"s + utf16le, 1},
      {"text/plain; charset=utf-8", utf16le, -1},
      {"", "\xFF\xFE"s + utf16le, 1},
      {"text/html", "\xE9t\xE9 VELTRA|0", 0},
      {"text/html; charset=iso-8859-1", "\xE9t\xE9 VELTRA|2", 2},
      {"text/plain; charset=windows-1252", "\x80 VELTRA|1", 1},
      {"text/plain; charset=utf-8", "\xEF\xBB\xBF\xC3\xA9 VELTRA|1", 1},
  };
  for (const auto& c : cases) {
    std::string type;
    for (const char ch : std::string_view(c.type)) {
      type += ch == ' ' ? "%20" : ch == '"' ? "%22" : std::string(1, ch);
    }
    server().Answer("type=" + type + "&body=" + Hex(c.body));
    EXPECT_EQ(CheckTimed().answer, c.answer) << c.type;
  }
}

TEST_F(UpdateCheckTest, OnlyTheFirstMebibyteIsRead) {
  struct Case {
    const char* what;
    std::string query;
    int32_t answer;
  };
  const std::string token = Hex("VELTRA|1");
  const Case cases[] = {
      {"token ends at the cap", "pad=" + std::to_string(Cap - 8) + "&tail=4096&body=" + token, 1},
      {"token crosses the cap", "pad=" + std::to_string(Cap - 7) + "&tail=4096&body=" + token, -1},
      {"token after the cap", "pad=" + std::to_string(2 * Cap) + "&body=" + token, -1},
      {"endless body, token first", "behaviour=endless&body=" + token, 1},
      {"endless body, token late",
       "behaviour=endless&pad=" + std::to_string(Cap) + "&body=" + token, -1},
  };
  for (const auto& c : cases) {
    server().Answer(c.query);
    const Timed result = CheckTimed();
    EXPECT_EQ(result.answer, c.answer) << c.what;
    EXPECT_LT(result.took, 15s) << c.what;
    std::printf("%-28s answer %2d in %5lld ms\n", c.what, result.answer,
                static_cast<long long>(result.took.count()));
  }
}

// Whatever the server does, the call ends with -1 well within the tray's 15-second bound.
TEST_F(UpdateCheckTest, UnresponsiveServersAreBounded) {
  const std::string token = Hex("VELTRA|1");
  const char* behaviours[] = {"silent", "dribble-head", "dribble-body", "stall-body"};
  for (const char* behaviour : behaviours) {
    server().Answer(std::string("behaviour=") + behaviour + "&body=" + token);
    const Timed result = CheckTimed();
    EXPECT_EQ(result.answer, -1) << behaviour;
    EXPECT_LT(result.took, 15s) << behaviour;
    std::printf("%-14s answer %2d in %5lld ms\n", behaviour, result.answer,
                static_cast<long long>(result.took.count()));
  }

  // Connected in the listener's backlog, never accepted: nothing is read or sent.
  const std::string mute = server().Control(u"/__muteport");
  ASSERT_FALSE(mute.empty());
  WinHttpGet http(u"127.0.0.1", static_cast<uint16_t>(std::stoul(mute)));
  const auto start = Clock::now();
  EXPECT_EQ(CheckForUpdate(http), -1);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  EXPECT_LT(took, 15s);
  std::printf("%-14s answer -1 in %5lld ms\n", "never accepted",
              static_cast<long long>(took.count()));
}

TEST_F(UpdateCheckTest, RefusedConnectionGivesMinusOne) {
  // A port that was free a moment ago and has no listener now.
  const std::string closed = server().Control(u"/__closedport");
  ASSERT_FALSE(closed.empty());
  WinHttpGet http(u"127.0.0.1", static_cast<uint16_t>(std::stoul(closed)));
  const auto start = Clock::now();
  EXPECT_EQ(CheckForUpdate(http), -1);
  EXPECT_LT(Clock::now() - start, 15s);
}

TEST(TrayIconBalloonClick, StartsTheUpdaterWhenPresentAndCarriesOnWithout) {
  wine_test::TempFolder folder;
  const std::wstring log = folder.path() + L"worker.log";
  SetEnvironmentVariableW(L"NIMBELLO_WORKER_LOG", log.c_str());
  wine_test::FolderLauncher launcher(folder.path());
  // The same click and the same look at the log, without and then with the updater: the second
  // round shows that a start in this set-up does reach the log.
  const std::vector<std::string> expected[] = {{}, {"NimbelloUpdate.exe "}};
  for (const auto& want : expected) {
    if (!want.empty()) {
      ASSERT_TRUE(CopyFileW((wine_test::ProgramFolder() + L"StandInWorker.exe").c_str(),
                            (folder.path() + L"NimbelloUpdate.exe").c_str(), FALSE));
    }
    TrayIconBalloonClick(launcher);
    EXPECT_EQ(wine_test::WaitForLines(log, 1, want.empty() ? 3s : 20s), want);
  }
}

}  // namespace
