#include "tests/server/test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pravonell::testserver {

namespace {

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

const std::string& PatternBlock() {
  static const std::string block = [] {
    std::string b(1 << 20, '\0');
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = PatternByte(i);
    return b;
  }();
  return block;
}

}  // namespace

char PatternByte(std::uint64_t i) { return static_cast<char>('a' + (i * 7 + i / 251) % 26); }

Reply Respond(const std::string& status, const std::string& body, const std::string& headers) {
  Reply reply;
  reply.Send("HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
             headers + "\r\n" + body);
  return reply;
}

Server::Server(Handler handler, std::vector<std::uint16_t> ports) : handler_(std::move(handler)) {
  for (std::uint16_t wanted : ports) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(wanted);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 64) != 0) {
      const std::string why = std::strerror(errno);
      close(fd);
      throw std::runtime_error("cannot listen on port " + std::to_string(wanted) + ": " + why);
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    listeners_.push_back(fd);
    ports_.push_back(ntohs(address.sin_port));
  }
  for (int fd : listeners_) threads_.emplace_back([this, fd] { Accept(fd); });
}

Server::~Server() {
  stopping_ = true;
  for (int fd : listeners_) shutdown(fd, SHUT_RDWR);
  {
    std::lock_guard lock(mutex_);
    for (int fd : open_) shutdown(fd, SHUT_RDWR);
  }
  for (auto& thread : threads_) thread.join();
  for (int fd : listeners_) close(fd);
}

std::vector<Request> Server::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void Server::Accept(int listener) {
  std::vector<std::thread> served;
  while (!stopping_) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      break;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    {
      std::lock_guard lock(mutex_);
      if (stopping_) {
        close(fd);
        break;
      }
      open_.insert(fd);
    }
    served.emplace_back([this, fd, n = nextConnection_++] { Serve(fd, n); });
  }
  for (auto& thread : served) thread.join();
}

void Server::Serve(int fd, int connection) {
  std::string pending;
  char buffer[8192];
  while (!stopping_) {
    const auto end = pending.find("\r\n\r\n");
    if (end == std::string::npos) {
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    Request request;
    request.connection = connection;
    request.head = pending.substr(0, end + 4);
    pending.erase(0, end + 4);
    const auto firstSpace = request.head.find(' ');
    const auto secondSpace = request.head.find(' ', firstSpace + 1);
    if (firstSpace != std::string::npos && secondSpace != std::string::npos) {
      request.path = request.head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    if (!Run(fd, handler_(request))) break;
  }
  {
    std::lock_guard lock(mutex_);
    open_.erase(fd);
  }
  close(fd);
}

// Runs one answer; false when the connection is to end.
bool Server::Run(int fd, const Reply& reply) {
  for (const Step& step : reply.steps) {
    switch (step.kind) {
      case Step::Bytes:
        if (!SendAll(fd, step.data.data(), step.data.size())) return false;
        break;
      case Step::Pattern: {
        const std::string& block = PatternBlock();
        // The pattern repeats every 26 × 251 bytes; blocks start where the last ended.
        std::uint64_t sent = 0;
        while (sent < step.size) {
          const std::size_t offset = static_cast<std::size_t>((step.from + sent) % (26 * 251));
          const std::size_t take = static_cast<std::size_t>(
              std::min<std::uint64_t>(step.size - sent, block.size() - 26 * 251));
          if (!SendAll(fd, block.data() + offset, take)) return false;
          sent += take;
        }
        break;
      }
      case Step::File: {
        const int file = open(step.data.c_str(), O_RDONLY | O_CLOEXEC);
        if (file < 0) return false;
        if (step.from > 0 && lseek(file, static_cast<off_t>(step.from), SEEK_SET) < 0) {
          close(file);
          return false;
        }
        std::uint64_t left = step.size == 0 ? UINT64_MAX : step.size;
        char chunk[65536];
        ssize_t got;
        bool ok = true;
        while (left > 0 && (got = read(file, chunk, std::min<std::uint64_t>(sizeof chunk, left))) > 0) {
          if (!SendAll(fd, chunk, static_cast<std::size_t>(got))) {
            ok = false;
            break;
          }
          left -= static_cast<std::uint64_t>(got);
        }
        close(file);
        if (!ok) return false;
        break;
      }
      case Step::Close:
        shutdown(fd, SHUT_WR);
        return false;
      case Step::Stall: {
        // Hold the connection, sending nothing, until the client goes away.
        char sink[4096];
        while (!stopping_) {
          pollfd p{fd, POLLIN, 0};
          if (poll(&p, 1, 100) > 0 && recv(fd, sink, sizeof sink, 0) <= 0) break;
        }
        return false;
      }
      case Step::Pause:
        usleep(static_cast<useconds_t>(step.ms) * 1000);
        break;
    }
  }
  return true;
}

namespace {

// A request header's value, trimmed; "" when it is not there.
std::string HeaderOf(const std::string& head, const std::string& name) {
  std::istringstream lines(head);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(':');
    if (colon == std::string::npos || colon != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < colon; ++i) {
      same = same && std::tolower(static_cast<unsigned char>(line[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (!same) continue;
    const auto first = line.find_first_not_of(' ', colon + 1);
    return first == std::string::npos ? "" : line.substr(first);
  }
  return "";
}

}  // namespace

Server::Handler FileSite(std::string root, std::string logFile) {
  auto logMutex = std::make_shared<std::mutex>();
  return [root, logFile, logMutex](const Request& request) {
    const std::string path = request.path.substr(0, request.path.find('?'));
    const std::string range = HeaderOf(request.head, "Range");
    const std::string ifRange = HeaderOf(request.head, "If-Range");
    const std::string ifNoneMatch = HeaderOf(request.head, "If-None-Match");
    const std::string ifModifiedSince = HeaderOf(request.head, "If-Modified-Since");
    // A line per request: its first line, then what it asked for beyond it.
    const auto log = [&](const std::string& answered) {
      std::lock_guard lock(*logMutex);
      if (logFile.empty()) return;
      std::string line = request.head.substr(0, request.head.find("\r\n"));
      if (!range.empty()) line += " (Range: " + range + ")";
      if (!ifNoneMatch.empty()) line += " (If-None-Match: " + ifNoneMatch + ")";
      if (!ifModifiedSince.empty()) line += " (If-Modified-Since: " + ifModifiedSince + ")";
      if (!answered.empty()) line += " -> " + answered;
      std::ofstream(logFile, std::ios::app) << line << "\n";
    };
    std::string file = root + path;
    std::string status = "200 OK", headers, body;
    bool haveBody = false, chunked = false, stall = false, closeAfter = false;
    std::uint64_t pattern = 0;
    std::int64_t cut = -1;
    std::int64_t stallAfter = -1;
    bool cutHalf = false;
    std::string etag, lastModified;
    // What a server or a box on the way does to ranges and confirmations.
    std::string rangeStatus, rangeTotal, confirmStatus;
    std::int64_t rangeLength = -1;
    bool ignoreIfRange = false, noLength = false;

    std::ifstream script(file + ".reply");
    std::string line;
    while (std::getline(script, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto space = line.find(' ');
      const std::string word = line.substr(0, space);
      const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
      if (word == "status") status = rest;
      else if (word == "header") headers += rest + "\r\n";
      else if (word == "body") body = rest, haveBody = true;
      else if (word == "cut") rest == "half" ? (void)(cutHalf = true) : (void)(cut = std::stoll(rest));
      else if (word == "cutwhole" && range.empty()) rest == "half" ? (void)(cutHalf = true) : (void)(cut = std::stoll(rest));
      else if (word == "etag") etag = rest;
      else if (word == "lastmodified") lastModified = rest;
      else if (word == "stallwhole" && range.empty()) stallAfter = std::stoll(rest);
      else if (word == "chunked") chunked = true;
      else if (word == "stall") stall = true;
      else if (word == "close") closeAfter = true;
      else if (word == "drop") return log(""), Reply().Close();
      else if (word == "cuthead") return log(""), Reply().Send("HTTP/1.1 " + status + "\r\nContent-Len").Close();
      else if (word == "pattern") pattern = std::stoull(rest);
      else if (word == "file") file = root + "/" + rest;
      else if (word == "rangestatus") rangeStatus = rest;
      else if (word == "rangetotal") rangeTotal = rest;
      else if (word == "rangelength") rangeLength = std::stoll(rest);
      else if (word == "ignoreifrange") ignoreIfRange = true;
      else if (word == "nolength") noLength = true;
      else if (word == "confirmstatus") confirmStatus = rest;
    }

    if (!etag.empty()) headers += "ETag: " + etag + "\r\n";
    if (!lastModified.empty()) headers += "Last-Modified: " + lastModified + "\r\n";
    // A conditional request for the file as it is: no body.
    const bool unchanged = (!etag.empty() && ifNoneMatch == etag) ||
                           (ifNoneMatch.empty() && !lastModified.empty() && ifModifiedSince == lastModified);
    if (unchanged && confirmStatus.empty()) {
      log("304");
      return Reply().Send("HTTP/1.1 304 Not Modified\r\n" + headers + "\r\n");
    }
    if (!range.empty() && !rangeStatus.empty()) {
      log(rangeStatus.substr(0, 3));
      const std::string refusal = "<html><body>" + rangeStatus + "</body></html>";
      return Reply().Send("HTTP/1.1 " + rangeStatus + "\r\nContent-Length: " + std::to_string(refusal.size()) +
                          "\r\n\r\n" + refusal);
    }
    if (!ifNoneMatch.empty() && !confirmStatus.empty()) status = confirmStatus;
    log("");
    // A range is answered from its first byte to the end, when the tag fits.
    std::uint64_t from = 0;
    const bool partial = !etag.empty() && range.rfind("bytes=", 0) == 0 && range.back() == '-' &&
                         (ifRange.empty() || ifRange == etag || ignoreIfRange);
    if (partial) {
      try {
        from = std::stoull(range.substr(6, range.size() - 7));
      } catch (...) {
        from = 0;  // not a range this server reads: the whole body
      }
    }

    struct stat info{};
    const bool isFile = pattern == 0 && stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    if (pattern > 0 || (isFile && !haveBody && !chunked)) {
      const std::uint64_t whole = pattern > 0 ? pattern : static_cast<std::uint64_t>(info.st_size);
      if (from >= whole) from = 0;
      std::string head = partial && from > 0 ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 " + status + "\r\n";
      const bool part = partial && from > 0;
      if (part) {
        head += "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(whole - 1) + "/" +
                (rangeTotal.empty() ? std::to_string(whole) : rangeTotal) + "\r\n";
      }
      std::uint64_t length = whole - from;
      if (part && rangeLength >= 0) length = static_cast<std::uint64_t>(rangeLength);
      // Without a length the body ends with the connection.
      const bool framedByClose = noLength && !part;
      if (closeAfter) headers += "Connection: close\r\n";
      Reply reply;
      reply.Send(head + (framedByClose ? "" : "Content-Length: " + std::to_string(length) + "\r\n") + headers +
                 "\r\n");
      std::uint64_t send = length;
      if (cutHalf) send = length / 2;
      if (cut >= 0) send = std::min<std::uint64_t>(length, static_cast<std::uint64_t>(cut));
      if (stall) send = 0;
      if (stallAfter >= 0) send = std::min<std::uint64_t>(length, static_cast<std::uint64_t>(stallAfter));
      if (send > 0) pattern > 0 ? (void)reply.SendPattern(send, from) : (void)reply.SendFile(file, send, from);
      if (stall || stallAfter >= 0) reply.Stall();
      if (send < length || closeAfter || framedByClose) reply.Close();
      return reply;
    }
    if (!haveBody && !isFile) {
      if (!script.is_open()) status = "404 Not Found";
      body = "<html><body>" + status + "</body></html>";
      haveBody = true;
    }
    const std::uint64_t length = haveBody ? body.size() : static_cast<std::uint64_t>(info.st_size);
    if (closeAfter) headers += "Connection: close\r\n";

    Reply reply;
    std::string head = "HTTP/1.1 " + status + "\r\n";
    if (chunked) {
      head += "Transfer-Encoding: chunked\r\n" + headers + "\r\n";
      std::string content = body;
      if (!haveBody) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        content = all.str();
      }
      std::string encoded;
      for (std::size_t at = 0; at < content.size(); at += 4000) {
        const std::string piece = content.substr(at, 4000);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        encoded += size + piece + "\r\n";
      }
      encoded += "0\r\n\r\n";
      reply.Send(head + encoded);
    } else {
      head += "Content-Length: " + std::to_string(length) + "\r\n" + headers + "\r\n";
      reply.Send(head);
      std::uint64_t send = length;
      if (cutHalf) send = length / 2;
      if (cut >= 0) send = std::min<std::uint64_t>(length, static_cast<std::uint64_t>(cut));
      if (stall) send = 0;
      if (haveBody) {
        reply.Send(body.substr(0, send));
      } else if (send > 0) {
        reply.SendFile(file, send);
      }
      if (stall) reply.Stall();
      if (send < length) reply.Close();
    }
    if (closeAfter) reply.Close();
    return reply;
  };
}

}  // namespace pravonell::testserver
