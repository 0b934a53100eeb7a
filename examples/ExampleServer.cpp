#include "ExampleServer.h"

#include "report/PageWriter.h"

#include <QProcess>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <thread>

namespace morrowlen::examples {

namespace {

using Clock = std::chrono::steady_clock;

class Socket {
  public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

  private:
    int m_fd;
};

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool waitFor(int fd, short events, Clock::time_point deadline) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, remainingMs(deadline));
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

std::optional<HttpAnswer> getFrom(const addrinfo& ai, const HostPort& at, std::string_view path,
                                  Clock::time_point deadline) {
    Socket s(::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol));
    if (s.fd() < 0) return std::nullopt;
    if (::connect(s.fd(), ai.ai_addr, ai.ai_addrlen) != 0) {
        if (errno != EINPROGRESS || !waitFor(s.fd(), POLLOUT, deadline)) return std::nullopt;
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) return std::nullopt;
    }
    const bool v6 = at.host.find(':') != std::string::npos;
    const std::string request = "GET " + std::string(path) +
                                " HTTP/1.0\r\nHost: " + (v6 ? "[" + at.host + "]" : at.host) + ":" +
                                std::to_string(at.port) + "\r\nConnection: close\r\n\r\n";
    for (std::size_t sent = 0; sent < request.size();) {
        if (!waitFor(s.fd(), POLLOUT, deadline)) return std::nullopt;
        const ssize_t n = ::send(s.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return std::nullopt;
        if (n > 0) sent += static_cast<std::size_t>(n);
    }
    // What is checked is short; a longer answer is cut, not waited for.
    constexpr std::size_t Limit = 64 * 1024;
    std::string raw;
    char buf[4096];
    while (raw.size() < Limit) {
        if (!waitFor(s.fd(), POLLIN, deadline)) return std::nullopt;
        const ssize_t n = ::recv(s.fd(), buf, sizeof buf, 0);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            break;
        }
        raw.append(buf, static_cast<std::size_t>(n));
    }
    HttpAnswer answer;
    // "HTTP/1.x NNN reason"; anything else that answered is still an answer, with status 0.
    if (raw.compare(0, 5, "HTTP/") == 0) {
        const std::size_t space = raw.find(' ');
        if (space != std::string::npos && space + 4 <= raw.size())
            std::from_chars(raw.data() + space + 1, raw.data() + space + 4, answer.status);
    }
    const std::size_t bodyAt = raw.find("\r\n\r\n");
    if (bodyAt != std::string::npos) answer.body = raw.substr(bodyAt + 4);
    return answer;
}

std::string newToken() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    std::string token;
    char hex[9];
    for (quint32 w : words) {
        std::snprintf(hex, sizeof hex, "%08x", w);
        token += hex;
    }
    return token;
}

} // namespace

std::optional<HostPort> splitServer(std::string_view server) {
    HostPort out;
    std::string_view rest;
    if (server.starts_with('[')) {
        const std::size_t close = server.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        out.host = server.substr(1, close - 1);
        rest = server.substr(close + 1);
    } else {
        const std::size_t colon = server.rfind(':');
        out.host = server.substr(0, colon);
        if (colon != std::string_view::npos) rest = server.substr(colon);
    }
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 2) return std::nullopt;
        unsigned port = 0;
        const auto [end, ec] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), port);
        if (ec != std::errc() || end != rest.data() + rest.size() || port == 0 || port > 65535)
            return std::nullopt;
        out.port = static_cast<std::uint16_t>(port);
    }
    if (out.host.empty()) return std::nullopt;
    return out;
}

bool isLoopbackHost(std::string_view host) {
    std::string lower(host);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower == "localhost" || lower.ends_with(".localhost")) return true;
    in_addr v4{};
    if (::inet_pton(AF_INET, lower.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return ::inet_pton(AF_INET6, lower.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::optional<HttpAnswer> httpGet(const HostPort& at, std::string_view path,
                                  std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (::getaddrinfo(at.host.c_str(), std::to_string(at.port).c_str(), &hints, &list) != 0)
        return std::nullopt;
    std::optional<HttpAnswer> answer;
    for (const addrinfo* ai = list; ai && !answer && Clock::now() < deadline; ai = ai->ai_next)
        answer = getFrom(*ai, at, path, deadline);
    ::freeaddrinfo(list);
    return answer;
}

ExampleServer::ExampleServer(std::string server, ServerProgram program)
    : m_server(std::move(server)), m_address(splitServer(m_server)), m_program(std::move(program)),
      m_token(newToken()) {}

ExampleServer::~ExampleServer() {
    stop();
}

ExampleServer::Outcome ExampleServer::whoAnswers(const std::optional<HttpAnswer>& answer) const {
    if (!answer) return Outcome::Unreachable;
    const bool ours = answer->status == 200 && !answer->body.empty() &&
                      (answer->body == m_token || answer->body == m_program.knownToken);
    return ours ? Outcome::Ours : Outcome::Taken;
}

ExampleServer::Outcome ExampleServer::prepare() {
    if (!m_address || !isLoopbackHost(m_address->host)) return Outcome::Remote;
    constexpr std::chrono::milliseconds Ask{500};
    const Outcome now = whoAnswers(httpGet(*m_address, TokenPath, Ask));
    if (now != Outcome::Unreachable || !start()) return now;
    const auto deadline = Clock::now() + StartTimeout;
    while (Clock::now() < deadline) {
        const Outcome outcome = whoAnswers(httpGet(*m_address, TokenPath, Ask));
        if (outcome != Outcome::Unreachable) return outcome;
        // A server that could not listen has ended already.
        if (m_process->state() == QProcess::NotRunning) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Outcome::Unreachable;
}

bool ExampleServer::start() {
    if (m_process && m_process->state() != QProcess::NotRunning) return true;
    if (m_program.script.empty() || !std::filesystem::exists(m_program.script)) return false;
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(QString::fromStdString(m_program.script.string()));
    QStringList arguments = {QStringLiteral("--bind"), QString::fromStdString(m_address->host),
                             QStringLiteral("--port"), QString::number(m_address->port),
                             QStringLiteral("--token"), QString::fromStdString(m_token),
                             // Should this program end without stopping it (killed), the server ends too.
                             QStringLiteral("--parent"), QString::number(::getpid())};
    if (!m_program.root.empty())
        arguments << QStringLiteral("--root") << QString::fromStdString(m_program.root.string());
    m_process->setArguments(arguments);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start();
    return m_process->waitForStarted(static_cast<int>(StartTimeout.count()));
}

void ExampleServer::stop() {
    if (!m_process || m_process->state() == QProcess::NotRunning) return;
    m_process->terminate();
    if (!m_process->waitForFinished(2000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

std::int64_t ExampleServer::processId() const {
    return m_process && m_process->state() != QProcess::NotRunning ? m_process->processId() : 0;
}

std::filesystem::path writeTakenPage(const std::filesystem::path& folder, std::string_view server) {
    const std::string address = report::escapeHtml(server);
    std::string other = "127.0.0.1:8643";
    if (auto at = splitServer(server)) {
        const bool v6 = at->host.find(':') != std::string::npos;
        other = (v6 ? "[" + at->host + "]" : at->host) + ":" +
                std::to_string(at->port == 65535 ? 8642 : at->port + 1);
    }
    report::PageFile page(folder / "ExampleServer.htm");
    for (const std::string& line : {
             std::string("<!DOCTYPE html>"),
             std::string("<html><head><meta charset=\"windows-1252\"><title>Example server address "
                         "taken</title></head>"),
             std::string("<body style=\"font-family: sans-serif; margin: 2em\">"),
             std::string("<h3>The example management packs cannot be shown</h3>"),
             "<p>Another program already answers at <b>" + address +
                 "</b>, the address from which Morrowlen serves its example packs. Its pages are not shown "
                 "here.</p>",
             std::string(
                 "<p>End that program and open the example again, or build Morrowlen with another address "
                 "for the example server:</p>"),
             "<pre>cmake --preset release -DMORROWLEN_EXAMPLE_SERVER=" + report::escapeHtml(other) + "</pre>",
             std::string("</body></html>"),
         })
        page.writeLine(line);
    page.commit();
    return page.page();
}

} // namespace morrowlen::examples
