// What a switch sends reaches JSON documents, MQTT topics and service logs only as valid UTF-8:
// bytes that are not are written \xNN, and a cut never splits a character.
#include "ServiceLog.h"
#include "TextUtil.h"

#include <gtest/gtest.h>

namespace qdl::test {
namespace {

TEST(ServiceTextTest, EveryByteOutsideUtf8IsEscapedAndACutKeepsCharactersWhole) {
    const struct {
        std::string Text;
        std::size_t Most;
        std::string Shown;
    } rows[] = {
        {"P60=\xff,P61=0", 400, "P60=\\xFF,P61=0"},
        {"Occup\xe9", 400, "Occup\\xE9"},                         // a Latin-1 busy page
        {"Occup\xc3\xa9", 400, "Occup\xc3\xa9"},                  // the same in UTF-8 stays
        {"\xe5\xb1\xb1\xe7\x94\xb0", 4, "\xe5\xb1\xb1..."},       // cut inside the second character
        {"\xe5\xb1\xb1\xe7\x94", 400, "\xe5\xb1\xb1\\xE7\\x94"}, // a character cut by the switch
        {"a\tb\x7f", 400, "a\\x09b\\x7F"},
        {"\xed\xa0\x80", 400, "\\xED\\xA0\\x80"},                 // a surrogate
        {"\xc0\xaf", 400, "\\xC0\\xAF"},                          // an overlong '/'
        {"abcdef", 3, "abc..."},
    };
    for (const auto& row : rows) {
        const std::string shown = Utf8Printable(row.Text, row.Most);
        EXPECT_EQ(shown, row.Shown);
        EXPECT_TRUE(IsValidUtf8(shown)) << shown;
    }
    EXPECT_EQ(control::Field("reason", "Occup\xe9 \"now\""), "reason=\"Occup\\xE9 \\\"now\\\"\"");
}

} // namespace
} // namespace qdl::test
