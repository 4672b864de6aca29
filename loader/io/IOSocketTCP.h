#pragma once

#include "loader/io/IOSocket.h"

// "Невозможно изменить значение Keepalive так как соединение уже установлено"
extern const char* const SIOSocketKeepAliveChange;

// TCP client.
class TIOSocketTCP : public TIOSocket {
public:
    TIOSocketTCP();
    ~TIOSocketTCP() override;

    int32_t Read(void* buffer, int32_t count) override;
    // Sends every byte (a partial send goes on with the rest).
    int32_t Write(const void* buffer, int32_t count) override;
    // Connects within ConnectTimeout; a failed attempt leaves no socket behind.
    void Open() override;

    bool GetKeepAlive() const { return keepAlive_; }
    // Keep-alive probes after 10 s of silence, every second; refused while open.
    void SetKeepAlive(bool value);

    int GetConnectTimeout() const { return connectTimeout_; }
    // Milliseconds a connect may take (negative: no limit).
    void SetConnectTimeout(int ms) { connectTimeout_ = ms; }

private:
    bool keepAlive_ = false;
    int connectTimeout_ = 5000;
};
