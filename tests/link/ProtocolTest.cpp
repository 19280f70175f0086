// Frames on the wire and the response reader, byte for byte.
#include <gtest/gtest.h>

#include <cstring>

#include "link/LinkFixture.h"

namespace qx::test {
namespace {

using CE = CommPort::CommError;

std::vector<uint8_t> FrameOf(const Request& r) {
    std::vector<uint8_t> out(r.FrameLength());
    out.resize(r.BuildFrame(out.data()));
    return out;
}

TEST(RequestFrames, MatchTheWireExamples) {
    EXPECT_EQ(FrameOf(Request::Identify()), (std::vector<uint8_t>{2, 1, 0, 0, 0, 3}));
    EXPECT_EQ(FrameOf(Request::Read(0xB661, 17)),
              (std::vector<uint8_t>{2, 5, 0, 1, 0x61, 0xB6, 0x11, 0, 0xE3, 3}));
    EXPECT_EQ(FrameOf(Request::MonitorStart(0x40, 14)),
              (std::vector<uint8_t>{2, 5, 0, 3, 0x40, 0, 0x0E, 0, 0x2E, 3}));
    // The IDENTIFY response of firmware 1.0.
    EXPECT_EQ(Frame(0x80, {0x10}), (std::vector<uint8_t>{2, 2, 0, 0x80, 0x10, 0x11, 3}));
    // A write carries address, count 1 and the byte; checksum by rotate-and-xor.
    const auto write = FrameOf(Request::Write(0xB600, 0xC8));
    ASSERT_EQ(write.size(), 11u);
    EXPECT_EQ(std::vector<uint8_t>(write.begin(), write.begin() + 9),
              (std::vector<uint8_t>{2, 6, 0, 2, 0x00, 0xB6, 1, 0, 0xC8}));
    const uint8_t data[] = {0x00, 0xB6, 1, 0, 0xC8};
    EXPECT_EQ(write[9], wire::Checksum(2, data, 5));
    EXPECT_EQ(write[10], 3);
}

TEST(RequestFrames, ChecksumRotatesBitSevenIntoBitZero) {
    const uint8_t data[] = {0x00, 0x00};
    // 0x81 rotated left is 0x03, again 0x06.
    EXPECT_EQ(wire::Checksum(0x81, data, 2), 0x06);
    EXPECT_EQ(wire::Checksum(0x80, nullptr, 0), 0x80);
}

class ResponseReader : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        Link();
    }
    // Reads one response into an 8-byte destination between guard bytes.
    CE Read(const std::vector<uint8_t>& bytes, std::size_t capacity = 8, bool wait = true) {
        line->Feed(bytes);
        std::memset(buffer, 0xA5, sizeof buffer);
        CE error = CE::NoError;
        ok = Port().ReadResponse(type, buffer + 4, capacity, &error, wait);
        return error;
    }
    bool GuardsIntact(std::size_t capacity) const {
        for (std::size_t i = 0; i < 4; ++i) {
            if (buffer[i] != 0xA5) return false;
        }
        for (std::size_t i = 4 + capacity; i < sizeof buffer; ++i) {
            if (buffer[i] != 0xA5) return false;
        }
        return true;
    }
    uint8_t buffer[16];
    uint8_t type = 0;
    bool ok = false;
};

TEST_F(ResponseReader, ReportsEachFrameFault) {
    EXPECT_EQ(Read({0x15, 0x02, 0x02}), CE::NakError);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Port().ReceiveCount(), 2u);  // only the NAK was taken
    line->RXFlush();

    EXPECT_EQ(Read({0x41, 0x02}), CE::StartByteError);
    EXPECT_EQ(Port().ReceiveCount(), 1u);
    line->RXFlush();

    EXPECT_EQ(Read(Frame(0x82, {1, 2})), CE::ResponseTypeError);
    EXPECT_EQ(type, 0x82);
    line->RXFlush();

    auto badSum = Frame(0x81, {1, 2, 3});
    badSum[badSum.size() - 2] ^= 0xFF;
    EXPECT_EQ(Read(badSum), CE::CheckSumError);
    // The bytes as received are in the destination all the same.
    EXPECT_EQ(buffer[4], 1);
    EXPECT_EQ(buffer[6], 3);

    auto badEnd = Frame(0x81, {1, 2, 3});
    badEnd.back() = 0x04;
    EXPECT_EQ(Read(badEnd), CE::EndByteError);

    auto truncated = Frame(0x81, {1, 2, 3});
    truncated.resize(5);
    EXPECT_EQ(Read(truncated), CE::TimeoutError);

    EXPECT_EQ(Read({}), CE::NoResponseError);
    EXPECT_EQ(Read({}, 8, false), CE::TimeoutError);
    EXPECT_TRUE(GuardsIntact(8));
}

TEST_F(ResponseReader, RejectsLengthsTheBufferCannotHold) {
    EXPECT_EQ(Read({0x02, 0x00, 0x00, 0x81, 1, 2, 3}), CE::LengthError);
    EXPECT_FALSE(ok);
    // The rest is left on the line for ResetError.
    EXPECT_EQ(Port().ReceiveCount(), 4u);
    line->RXFlush();

    std::vector<uint8_t> tooLong(129, 0x77);
    EXPECT_EQ(Read(Frame(0x81, tooLong)), CE::LengthError);
    EXPECT_TRUE(GuardsIntact(8));
    line->RXFlush();

    std::vector<uint8_t> longest(128, 0x66);
    EXPECT_EQ(Read(Frame(0x81, longest)), CE::NoError);
    EXPECT_TRUE(GuardsIntact(8));
}

TEST_F(ResponseReader, FillsOnlyTheCapacityOfALongerResponse) {
    EXPECT_EQ(Read(Frame(0x81, {9, 8, 7, 6, 5, 4}), 3), CE::NoError);
    EXPECT_TRUE(ok);
    EXPECT_EQ(type, 0x81);
    EXPECT_EQ(buffer[4], 9);
    EXPECT_EQ(buffer[6], 7);
    EXPECT_TRUE(GuardsIntact(3));
}

TEST_F(ResponseReader, FailsWithoutAnErrorWhileDown) {
    line = nullptr;
    CommPort::Instance().BreakLink();
    CE error = CE::EndByteError;
    EXPECT_FALSE(Port().ReadResponse(type, buffer, 8, &error, true));
    EXPECT_EQ(error, CE::EndByteError);
    EXPECT_FALSE(Port().SendRequest(Request::Identify()));
}

TEST_F(ResponseReader, SendsRequestsExactly) {
    ASSERT_TRUE(Port().SendRequest(Request::Read(0xB661, 17)));
    EXPECT_EQ(line->Written(), (std::vector<uint8_t>{2, 5, 0, 1, 0x61, 0xB6, 0x11, 0, 0xE3, 3}));
}

}  // namespace
}  // namespace qx::test
