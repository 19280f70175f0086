// Frames on the wire and the response reader, byte for byte.
#include <gtest/gtest.h>

#include <cstring>

#include "link/LinkFixture.h"

namespace qx::test {
namespace {

using CE = CommPort::CommError;
using Bytes = std::vector<uint8_t>;

Bytes FrameOf(const Request& r) {
    Bytes out(r.FrameLength());
    out.resize(r.BuildFrame(out.data()));
    return out;
}

class ResponseReader : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        Link();
    }
    uint8_t buffer[16];  // the destination sits at offset 4, between guard bytes
    uint8_t type = 0;
};

TEST_F(ResponseReader, FramesMatchTheWireExamples) {
    const Bytes read = {2, 5, 0, 1, 0x61, 0xB6, 0x11, 0, 0xE3, 3};
    EXPECT_EQ(FrameOf(Request::Identify()), (Bytes{2, 1, 0, 0, 0, 3}));
    EXPECT_EQ(FrameOf(Request::Read(0xB661, 17)), read);
    EXPECT_EQ(FrameOf(Request::MonitorStart(0x40, 14)),
              (Bytes{2, 5, 0, 3, 0x40, 0, 0x0E, 0, 0x2E, 3}));
    EXPECT_EQ(FrameOf(Request::Write(0xB600, 0xC8)),
              (Bytes{2, 6, 0, 2, 0, 0xB6, 1, 0, 0xC8, 0x39, 3}));
    EXPECT_EQ(Frame(0x80, {0x10}), (Bytes{2, 2, 0, 0x80, 0x10, 0x11, 3}));  // IDENTIFY reply, 1.0
    const uint8_t zeros[] = {0, 0};
    EXPECT_EQ(wire::Checksum(0x81, zeros, 2), 0x06);  // bit 7 rotates into bit 0: 0x03, 0x06
    ASSERT_TRUE(Port().SendRequest(Request::Read(0xB661, 17)));
    EXPECT_EQ(line->Written(), read);
}

TEST_F(ResponseReader, ReportsEveryErrorAndNeverStoresBeyondItsCapacity) {
    const Bytes good = Frame(0x81, {1, 2, 3});
    Bytes badSum = good, badEnd = good;
    badSum[7] ^= 0xFF;
    badEnd[8] = 0x04;
    struct Case {
        Bytes bytes;
        CE error;
        int left = -1;      // bytes left on the line, when it matters
        Bytes stored = {};  // the start of the destination afterwards
        std::size_t capacity = 8;
        bool wait = true;
    };
    const Case cases[] = {
        {{0x15, 0x02, 0x02}, CE::NakError, 2},
        {{0x41, 0x02}, CE::StartByteError, 1},
        {Frame(0x82, {1, 2}), CE::ResponseTypeError},
        {badSum, CE::CheckSumError, 0, {1, 2, 3}},  // stored as received all the same
        {badEnd, CE::EndByteError},
        {Bytes(good.begin(), good.begin() + 5), CE::TimeoutError},
        {{}, CE::NoResponseError},
        {{}, CE::TimeoutError, 0, {}, 8, false},
        {{0x02, 0x00, 0x00, 0x81, 1, 2, 3}, CE::LengthError, 4},  // the rest is for ResetError
        {Frame(0x81, Bytes(129, 0x77)), CE::LengthError},
        {Frame(0x81, Bytes(128, 0x66)), CE::NoError, 0, {0x66}},
        {Frame(0x81, {9, 8, 7, 6, 5, 4}), CE::NoError, 0, {9, 8, 7}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "error " << static_cast<int>(c.error) << ", "
                                        << c.bytes.size() << " bytes");
        line->Feed(c.bytes);
        std::memset(buffer, 0xA5, sizeof buffer);
        CE error = CE::NoError;
        EXPECT_EQ(Port().ReadResponse(type, buffer + 4, c.capacity, &error, c.wait),
                  c.error == CE::NoError);
        EXPECT_EQ(error, c.error);
        if (c.error == CE::ResponseTypeError) {
            EXPECT_EQ(type, 0x82);
        }
        if (c.left >= 0) {
            EXPECT_EQ(Port().ReceiveCount(), static_cast<std::size_t>(c.left));
        }
        EXPECT_EQ(Bytes(buffer + 4, buffer + 4 + c.stored.size()), c.stored);
        for (std::size_t i = 0; i < sizeof buffer; ++i) {
            const bool guard = i < 4 || i >= 4 + c.capacity;
            EXPECT_TRUE(!guard || buffer[i] == 0xA5) << "guard byte " << i;
        }
        line->RXFlush();
    }
}

}  // namespace
}  // namespace qx::test
