#include "DeviceFixture.h"

namespace qdl::test {
namespace {

struct ReadingCase {
    const char* Name;
    std::string Reply;
    ReplyList Items;
    friend void PrintTo(const ReadingCase& row, std::ostream* out) { *out << row.Name; }
};

class ReplyReadingTest : public DeviceTest, public testing::WithParamInterface<ReadingCase> {};

TEST_P(ReplyReadingTest, ReadsTheBody) {
    device.Reply(GetParam().Reply);
    EXPECT_EQ(GetPowerFromSwitch(), !GetParam().Items.empty());
    EXPECT_EQ(reply, GetParam().Items);
}

const ReplyList Four{"P60=1", "P61=0", "P62=0", "P63=1"};

INSTANTIATE_TEST_SUITE_P(
    Rows, ReplyReadingTest,
    testing::Values(
        ReadingCase{"ContentLength",
                    "HTTP/1.1 200 OK\r\nContent-Length: 37\r\n\r\n<html>P60=1,P61=0,P62=0,P63=1</html>",
                    Four},
        ReadingCase{"ContentLengthStopsReading",
                    "HTTP/1.1 200 OK\r\nContent-Length: 18\r\n\r\n<html>P60=1</html>tail",
                    {"P60=1"}},
        ReadingCase{"UntilClose",
                    "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>P60=1,P61=0,P62=0,P63=1</html>",
                    Four},
        ReadingCase{"ContentLengthNotANumber",
                    "HTTP/1.1 200 OK\r\nContent-Length: many\r\n\r\n<html>P61=1</html>",
                    {"P61=1"}},
        ReadingCase{
            "ContentLengthZero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n<html>P61=1</html>", {}},
        ReadingCase{"Chunked",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n<html>\r\n1f "
                    "ignored\r\nP60=1,P61=0,P62=0,P63=1</html>\r\n0\r\n\r\n",
                    Four},
        ReadingCase{"ChunkExtensionEndsBody",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                    "chunked\r\n\r\n12\r\n<html>P62=1</html>\r\n5;x=y\r\nmore!\r\n0\r\n\r\n",
                    {"P62=1"}},
        ReadingCase{"ChunkedNeedsExactCase",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                    "Chunked\r\n\r\n6\r\n<html>\r\nc\r\nP62=1</html>\r\n0\r\n\r\n",
                    {"", "c", "P62=1"}},
        ReadingCase{"BareLineFeeds", "HTTP/1.1 200 OK\nContent-Length: 18\n\n<html>P63=1</html>", {"P63=1"}},
        ReadingCase{
            "ContinueIsPassedOver",
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 18\r\n\r\n<html>P63=1</html>",
            {"P63=1"}},
        ReadingCase{
            "HeaderContinuationLine",
            "HTTP/1.1 200 OK\r\nX-Note: first\r\n second\r\nContent-Length: 18\r\n\r\n<html>P63=1</html>",
            {"P63=1"}},
        ReadingCase{"NoContent", "HTTP/1.1 204 No Content\r\n\r\n<html>P63=1</html>", {}},
        ReadingCase{"EmptyBody", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", {}},
        ReadingCase{"NoClosingMarker", "HTTP/1.1 200 OK\r\n\r\n<html>P60=1", {}},
        ReadingCase{"ShortBodyKeptWhole",
                    "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<html>P60=1</html>",
                    {"P60=1"}},
        ReadingCase{"LongestLineAllowed",
                    "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(16384 - 7, 'x') + "\r\n\r\n<html>P60=1</html>",
                    {"P60=1"}},
        ReadingCase{
            "NumericExpiresWithinADay",
            "HTTP/1.1 200 OK\r\nExpires: 86399\r\nContent-Range: bytes 0-17/18\r\n\r\n<html>P60=1</html>",
            {"P60=1"}}),
    [](const testing::TestParamInfo<ReadingCase>& info) { return info.param.Name; });

TEST_F(DeviceTest, AnEmptyReplyKeepsNothingOfTheLastOne) {
    reply = {"old"};
    device.ReplyBody("<html></html>");
    EXPECT_FALSE(GetPowerFromSwitch());
    EXPECT_TRUE(reply.empty()) << "a completed exchange replaces the list";
}

} // namespace
} // namespace qdl::test
