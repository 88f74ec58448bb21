// The TLS module of the client kit: the eight functions of the TCP module,
// with TLS from the connection's first byte, so that the start request and
// its login travel inside it. Socket work is the TCP module's; failures go
// onto the caller's error stack under this module's source name.
#pragma once

#include "Com/wsa11/Wsa11com.h"
#include "platform/tls.h"

#include <cstdint>

class CERRSTACK;

// The TLS connection record: its first part is the record the link sees
// (time-outs, trace name, error stack).
struct TLSCON {
    NETCON net;
    NETCON* tcp;              // the TCP module's connection underneath
    plat::tls::Channel* channel;
};

extern const char kTlsSource[];  // "Com/tls/Tlscom"

// Open with the TLS settings; the plain open entry verifies against the
// system's store and the host given.
NETCON* OpenTlsNetConWith(const char* service, const char* host, CERRSTACK* errStack, std::int16_t trace,
                          std::uint16_t receiveTimeout, std::uint16_t sendTimeout,
                          const plat::tls::Settings& settings);
NETCON* OpenTlsNetCon(const char* service, const char* host, CERRSTACK* errStack, std::int16_t trace,
                      std::uint16_t receiveTimeout, std::uint16_t sendTimeout);
std::int16_t CloseTlsNetCon(NETCON* con);
std::int16_t PingTlsNetCon(NETCON* con);
std::int16_t ReceiveTlsNetCon(NETCON* con, std::uint32_t channel, void* buffer, std::uint32_t count);
std::int16_t SendTlsNetCon(NETCON* con, std::uint32_t channel, const void* buffer, std::uint32_t count);
