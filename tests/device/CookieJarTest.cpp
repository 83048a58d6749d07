#include "CookieJar.h"

#include <gtest/gtest.h>

namespace qdl {
namespace {

TEST(CookieJarTest, SendsMatchingCookiesLongestPathFirst) {
    CookieJar jar;
    jar.Store("a=1", "sw.example.lan");
    jar.Store("b=2; Path=/; Domain=example.lan", "sw.example.lan");
    jar.Store("c=3; Path=/admin", "sw.example.lan");
    jar.Store("d=4; Domain=other.lan", "sw.example.lan");
    jar.Store("e=; Path=/", "sw.example.lan");
    EXPECT_EQ(jar.CookieHeader("SW.example.lan", "/"), "a=1; b=2");
    EXPECT_EQ(jar.CookieHeader("sw.example.lan", "/admin/x"), "c=3; a=1; b=2");
    EXPECT_EQ(jar.CookieHeader("10.0.0.1", "/"), "");
}

TEST(CookieJarTest, ANewValueReplacesTheOldOne) {
    CookieJar jar;
    jar.Store("session=old", "host");
    jar.Store("session=new", "host");
    EXPECT_EQ(jar.CookieHeader("host", "/"), "session=new");
    jar.Store("session=", "host");
    EXPECT_EQ(jar.CookieHeader("host", "/"), "") << "an emptied cookie is no longer sent";
}

TEST(CookieJarTest, MalformedCookiesAreIgnored) {
    CookieJar jar;
    jar.Store("novalue", "host");
    jar.Store("=anonymous", "host");
    jar.Store(std::string("x=1\x01"), "host");
    EXPECT_EQ(jar.size(), 0u);
}

TEST(CookieJarTest, KeepsAtMostFiftyCookiesOfAtMost4096Bytes) {
    CookieJar jar;
    jar.Store("big=" + std::string(4093, 'x'), "host");
    EXPECT_EQ(jar.size(), 0u);
    for (int i = 0; i < 60; ++i)
        jar.Store("c" + std::to_string(i) + "=v", "host");
    EXPECT_EQ(jar.size(), CookieJar::MaxCookies);
    jar.Store("c0=changed", "host");
    EXPECT_NE(jar.CookieHeader("host", "/").find("c0=changed"), std::string::npos)
        << "a full jar still takes new values of the cookies it holds";
    EXPECT_EQ(jar.CookieHeader("host", "/").find("c50="), std::string::npos);
}

} // namespace
} // namespace qdl
