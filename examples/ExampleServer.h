#pragma once
// The example server that comes with the program: found, checked, and started when the configured
// address is a loopback one and nothing answers there.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QProcess;

namespace morrowlen::examples {

// Our server answers this path with the token it was given at start.
inline constexpr std::string_view TokenPath = "/examplemps/.morrowlen";

struct HostPort {
    std::string host; // without the brackets of an IPv6 address
    std::uint16_t port = 80;
};

// "host", "host:port" or "[v6]:port"; nullopt when the port is not a number from 1 to 65535.
std::optional<HostPort> splitServer(std::string_view server);

// A numeric loopback address (127.0.0.0/8, ::1) or the name localhost.
bool isLoopbackHost(std::string_view host);

struct HttpAnswer {
    int status = 0;
    std::string body;
};

// A plain HTTP/1.0 GET; nullopt when nobody accepts the connection or answers in time.
std::optional<HttpAnswer> httpGet(const HostPort& at, std::string_view path,
                                  std::chrono::milliseconds timeout);

// How the program starts its own server.
struct ServerProgram {
    std::filesystem::path script; // serve-examples; empty when there is none
    std::filesystem::path root;   // the folder that holds examplemps/
    std::string knownToken;       // the token of a server started for the program (scripts/run)
};

class ExampleServer {
  public:
    enum class Outcome {
        Remote,      // not a loopback address: nothing to check or start
        Ours,        // our server answers
        Taken,       // something else answers there
        Unreachable, // nothing answers, and our server could not be started
    };

    ExampleServer(std::string server, ServerProgram program);
    ~ExampleServer(); // stops the server it started
    ExampleServer(const ExampleServer&) = delete;
    ExampleServer& operator=(const ExampleServer&) = delete;

    // Checks who answers; when nothing does, starts our server and waits for it (at most
    // StartTimeout). Blocks while it waits.
    Outcome prepare();
    // Stops the server this object started, if it runs.
    void stop();

    // The started server's process id, 0 when none runs.
    std::int64_t processId() const;
    const std::string& server() const { return m_server; }

    static constexpr std::chrono::milliseconds StartTimeout{2000};

  private:
    Outcome whoAnswers(const std::optional<HttpAnswer>& answer) const;
    bool start();

    std::string m_server;
    std::optional<HostPort> m_address;
    ServerProgram m_program;
    std::string m_token; // given to the server this object starts
    std::unique_ptr<QProcess> m_process;
};

// Writes the page the viewer shows when another program holds the example server's address, as
// "ExampleServer.htm" in the folder; returns its path. Throws Error when it cannot be written.
std::filesystem::path writeTakenPage(const std::filesystem::path& folder, std::string_view server);

} // namespace morrowlen::examples
