// The operating system's UDP sockets behind one set of names: BSD sockets on Linux,
// Winsock 2 on Windows. Only what the device endpoint, the stream receiver and the
// emulator's streamer need: a socket handle, its close, the last error as text, and
// the one-time start-up Winsock asks for.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <string>

namespace vexil::net {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline constexpr SocketHandle kNoSocket = INVALID_SOCKET;
using SocketLength = int;
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
using SocketLength = socklen_t;
#endif

/// Starts the socket library once per process (Winsock's WSAStartup); nothing on
/// Linux. False, with `error` set, when Windows refuses it.
bool startSockets(std::string& error);

/// A fresh UDP/IPv4 socket not inherited by child processes; kNoSocket on failure.
SocketHandle openUdpSocket();
void closeSocket(SocketHandle s);

/// The error of the last failed socket call on this thread (errno or WSAGetLastError).
int lastSocketError();
/// The system's text for socket error `code`, as "Address already in use".
std::string errorText(int code);
/// `what` and the text of error `code`, as "bind: Address already in use".
inline std::string socketErrorText(const char* what, int code) { return std::string(what) + ": " + errorText(code); }
inline std::string socketErrorText(const char* what) { return socketErrorText(what, lastSocketError()); }

/// Whether a failed receive only means "nothing now" or "try again" (an interruption,
/// no datagram waiting, an ICMP port-unreachable reported on a later receive).
bool isTransientReceiveError(int code);
/// Whether a failed receive means the datagram was larger than the buffer (Winsock
/// reports that as an error; Linux never does with MSG_TRUNC).
bool isOversizeReceiveError(int code);

/// Sets an integer socket option; true when the system took it.
bool setIntOption(SocketHandle s, int level, int name, int value);

}  // namespace vexil::net
