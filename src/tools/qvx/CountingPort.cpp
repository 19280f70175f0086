#include "CountingPort.h"

namespace qx::qvx {

CountingPort::CountingPort(std::unique_ptr<serial::SerialPort> inner) : inner_(std::move(inner)) {}

int CountingPort::ReadByte(int timeoutMs) {
    int b = inner_->ReadByte(timeoutMs);
    if (b >= 0) {
        ++read_;
        Notify();
    }
    return b;
}

int CountingPort::WriteByte(uint8_t byte) {
    int r = inner_->WriteByte(byte);
    if (r == 0) {
        ++written_;
        Notify();
    }
    return r;
}

void CountingPort::RXFlush() {
    read_ += inner_->RXCount();
    inner_->RXFlush();
}

std::size_t CountingPort::GetBuffer(uint8_t* buffer, std::size_t count, int timeoutMs) {
    std::size_t n = inner_->GetBuffer(buffer, count, timeoutMs);
    if (n > 0) {
        read_ += n;
        Notify();
    }
    return n;
}

}  // namespace qx::qvx
