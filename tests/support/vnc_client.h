// SPDX-License-Identifier: MIT
#pragma once
// The operator's screen, keyboard and mouse for a program run as a process
// on Qt's VNC platform (-platform vnc:size=WxH:port=P): a client of the
// remote framebuffer protocol, version 3.3, without security, as far as a
// test needs it. Keys and pointer events go over the socket and reach the
// program's window system queue like a real keyboard's and mouse's; pixels
// are read back to see what the screen shows.
//
// Every wait is poll() with a limit; a closed connection (the program
// ended) makes every call fail instead of waiting.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "deadline.h"

class VncClient {
 public:
  using Ms = std::chrono::milliseconds;
  static constexpr uint32_t kControlKey = 0xFFE3;  // the left Ctrl's keysym

  ~VncClient() { Close(); }

  // A TCP port on the loopback interface that nothing listens on now.
  static int FreePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port = ntohs(address.sin_port);
    close(probe);
    return port;
  }

  // Connects (retrying while the program starts) and opens the session:
  // 32-bit pixels, raw encoding.
  bool Connect(int port, Ms limit) {
    serial::Deadline deadline(limit);
    while (!deadline.Expired()) {
      Close();
      fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(port));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return Handshake(deadline);
      std::this_thread::sleep_for(Ms(50));
    }
    return false;
  }

  // The colour at a point of the screen as 0xRRGGBB; nothing when the
  // connection failed or closed.
  std::optional<uint32_t> Pixel(int x, int y, Ms limit) {
    const uint8_t request[] = {3, 0, Hi(x), Lo(x), Hi(y), Lo(y), 0, 1, 0, 1};
    if (!Send(request, sizeof request)) return std::nullopt;
    serial::Deadline deadline(limit);
    // A framebuffer update: type, padding, rectangle count, then per
    // rectangle x, y, width, height, encoding and its pixels.
    std::array<uint8_t, 4> head{};
    if (!Receive(head.data(), head.size(), deadline) || head[0] != 0) return std::nullopt;
    std::optional<uint32_t> colour;
    for (int rect = 0; rect < (head[2] << 8 | head[3]); ++rect) {
      std::array<uint8_t, 12> place{};
      if (!Receive(place.data(), place.size(), deadline)) return std::nullopt;
      std::vector<uint8_t> pixels(size_t(place[4] << 8 | place[5]) * size_t(place[6] << 8 | place[7]) * 4);
      if (!Receive(pixels.data(), pixels.size(), deadline)) return std::nullopt;
      if (pixels.size() >= 4) colour = uint32_t(pixels[2]) << 16 | uint32_t(pixels[1]) << 8 | pixels[0];
    }
    return colour;
  }

  bool Key(uint32_t keysym, bool down) {
    const uint8_t event[] = {4, uint8_t(down), 0, 0, uint8_t(keysym >> 24), uint8_t(keysym >> 16),
                             uint8_t(keysym >> 8), uint8_t(keysym)};
    return Send(event, sizeof event);
  }
  // A key with Ctrl held.
  bool ControlKey(uint32_t keysym) {
    return Key(kControlKey, true) && Key(keysym, true) && Key(keysym, false) && Key(kControlKey, false);
  }
  // A left click: the pointer moves there, presses, and releases.
  bool Click(int x, int y) {
    return Pointer(x, y, 0) && Pointer(x, y, 1) && Pointer(x, y, 0);
  }

 private:
  static uint8_t Hi(int value) { return uint8_t(value >> 8); }
  static uint8_t Lo(int value) { return uint8_t(value); }

  bool Pointer(int x, int y, uint8_t buttons) {
    const uint8_t event[] = {5, buttons, Hi(x), Lo(x), Hi(y), Lo(y)};
    return Send(event, sizeof event);
  }

  bool Handshake(const serial::Deadline& deadline) {
    std::array<uint8_t, 12> version{};
    if (!Receive(version.data(), version.size(), deadline)) return false;
    const std::string ours = "RFB 003.003\n";
    std::array<uint8_t, 4> security{};
    if (!Send(ours.data(), ours.size()) || !Receive(security.data(), security.size(), deadline) || security[3] != 1)
      return false;
    const uint8_t shared = 1;
    std::array<uint8_t, 24> init{};
    if (!Send(&shared, 1) || !Receive(init.data(), init.size(), deadline)) return false;
    std::vector<uint8_t> name(size_t(init[20]) << 24 | size_t(init[21]) << 16 | size_t(init[22]) << 8 | init[23]);
    if (!Receive(name.data(), name.size(), deadline)) return false;
    // 32 bits a pixel, depth 24, little endian, true colour, red at bit 16.
    const uint8_t format[] = {0, 0, 0, 0, 32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0};
    const uint8_t rawOnly[] = {2, 0, 0, 1, 0, 0, 0, 0};
    return Send(format, sizeof format) && Send(rawOnly, sizeof rawOnly);
  }

  bool Send(const void* bytes, size_t length) {
    return fd_ >= 0 && send(fd_, bytes, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
  }

  bool Receive(uint8_t* bytes, size_t length, const serial::Deadline& deadline) {
    size_t got = 0;
    while (got < length) {
      pollfd wait{fd_, POLLIN, 0};
      if (fd_ < 0 || poll(&wait, 1, deadline.RemainingMs()) <= 0) return false;
      const ssize_t n = recv(fd_, bytes + got, length - got, 0);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  int fd_ = -1;
};
