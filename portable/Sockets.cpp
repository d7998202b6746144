#include "portable/Sockets.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <mutex>

namespace vexil::net {

#ifdef _WIN32

bool startSockets(std::string& error) {
  static std::once_flag once;
  static int result = 0;
  std::call_once(once, [] {
    WSADATA data{};
    result = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (result != 0) {
    error = socketErrorText("WSAStartup", result);
    return false;
  }
  return true;
}

SocketHandle openUdpSocket() {
  std::string ignored;
  if (!startSockets(ignored)) return kNoSocket;
  // WSA_FLAG_NO_HANDLE_INHERIT: as SOCK_CLOEXEC on Linux.
  return WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

void closeSocket(SocketHandle s) {
  if (s != kNoSocket) ::closesocket(s);
}

int lastSocketError() { return WSAGetLastError(); }

std::string errorText(int code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
      nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
    message.pop_back();
  return message;
}

bool isTransientReceiveError(int code) {
  // WSAECONNRESET: Windows reports an ICMP port-unreachable for an earlier send on the
  // next receive, as Linux reports ECONNREFUSED.
  return code == WSAEINTR || code == WSAEWOULDBLOCK || code == WSAECONNRESET || code == WSAENETRESET;
}

bool isOversizeReceiveError(int code) { return code == WSAEMSGSIZE; }

bool setIntOption(SocketHandle s, int level, int name, int value) {
  return setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

#else

bool startSockets(std::string&) { return true; }

SocketHandle openUdpSocket() { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }

void closeSocket(SocketHandle s) {
  if (s >= 0) ::close(s);
}

int lastSocketError() { return errno; }

std::string errorText(int code) { return std::strerror(code); }

bool isTransientReceiveError(int code) { return code == EINTR || code == EAGAIN || code == ECONNREFUSED; }

bool isOversizeReceiveError(int) { return false; }

bool setIntOption(SocketHandle s, int level, int name, int value) {
  return setsockopt(s, level, name, &value, sizeof value) == 0;
}

#endif

}  // namespace vexil::net
