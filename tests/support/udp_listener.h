// SPDX-License-Identifier: GPL-3.0-or-later
// A listener of the test's own on the loopback: a UDP socket bound to a
// free port of 127.0.0.1 (or ::1) that keeps every datagram it hears, read
// on a thread of its own so that a sender's burst never fills its buffer.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sondrix::test {

class UdpListener {
 public:
  explicit UdpListener(bool ipv6 = false) : ipv6_(ipv6) {
    fd_ = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
    const int buffer = 8 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (ipv6) {
      auto& a = reinterpret_cast<sockaddr_in6&>(address);
      a.sin6_family = AF_INET6;
      a.sin6_addr = in6addr_loopback;
      length = sizeof a;
    } else {
      auto& a = reinterpret_cast<sockaddr_in&>(address);
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      length = sizeof a;
    }
    bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
             ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (bound_) {
      port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                         : reinterpret_cast<sockaddr_in&>(address).sin_port);
    }
    reader_ = std::thread([this] { Read(); });
  }
  ~UdpListener() { Close(); }
  UdpListener(const UdpListener&) = delete;
  UdpListener& operator=(const UdpListener&) = delete;

  bool bound() const { return bound_; }
  int port() const { return port_; }
  // "127.0.0.1:PORT" or "[::1]:PORT".
  std::string Destination() const {
    return (ipv6_ ? std::string("[::1]:") : std::string("127.0.0.1:")) + std::to_string(port_);
  }
  // The datagrams heard so far, once none came for `quietMs`.
  std::vector<std::string> Heard(int quietMs = 300) {
    for (std::size_t last = Count();;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(quietMs));
      const std::size_t now = Count();
      if (now == last) break;
      last = now;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    return heard_;
  }
  // Stops listening: the port refuses from now on.
  void Close() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  std::size_t Count() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return heard_.size();
  }
  void Read() {
    std::string datagram(70000, '\0');
    while (!stop_ && fd_ >= 0) {
      pollfd wait{fd_, POLLIN, 0};
      if (::poll(&wait, 1, 50) != 1) continue;
      const ssize_t got = ::recv(fd_, datagram.data(), datagram.size(), 0);
      if (got < 0) continue;
      const std::lock_guard<std::mutex> lock(mutex_);
      heard_.emplace_back(datagram.data(), static_cast<std::size_t>(got));
    }
  }

  bool ipv6_;
  int fd_ = -1;
  bool bound_ = false;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> heard_;
  std::thread reader_;
};

}  // namespace sondrix::test
