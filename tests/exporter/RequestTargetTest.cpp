// The request line's target as URL readers read it: one URL, one meaning, on every system.
#include "RequestTarget.h"

#include <gtest/gtest.h>

namespace qdl::test {
namespace {

using exporter::BadTarget;
using exporter::ParseRequestTarget;

TEST(RequestTargetTest, PathsAndQueriesAreDecodedAsUrlReadersDo) {
    using Params = std::multimap<std::string, std::string>;
    const struct {
        const char* Target;
        const char* Path;
        Params Expected;
    } rows[] = {
        {"/probe?target=rack1", "/probe", {{"target", "rack1"}}},
        {"/probe?target=rack%201&schedule=1", "/probe", {{"target", "rack 1"}, {"schedule", "1"}}},
        {"/probe?target=rack+1", "/probe", {{"target", "rack 1"}}},
        {"/probe?target=foo=rack1", "/probe", {{"target", "foo=rack1"}}},
        {"/probe??target=rack1&target=nothing", "/probe", {{"?target", "rack1"}, {"target", "nothing"}}},
        {"/probe?target=a&target=b", "/probe", {{"target", "a"}, {"target", "b"}}},
        {"/probe?&&target=&flag", "/probe", {{"target", ""}, {"flag", ""}}},
        {"/m%65trics", "/metrics", {}},
        {"/a+b?", "/a+b", {}},
        {"http://127.0.0.1:9816/probe?target=x", "/probe", {{"target", "x"}}},
        {"HTTPS://host", "/", {}},
        {"http://host?target=x", "/", {{"target", "x"}}},
        {"/probe?target=%E5%B1%B1", "/probe", {{"target", "\xe5\xb1\xb1"}}},
    };
    for (const auto& row : rows) {
        const auto parsed = ParseRequestTarget(row.Target);
        EXPECT_EQ(parsed.Path, row.Path) << row.Target;
        EXPECT_EQ(parsed.Params, row.Expected) << row.Target;
    }
}

TEST(RequestTargetTest, WhatNoUrlReaderTakesIsRefused) {
    for (const char* target : {"/probe?target=r%u0061ck1", "/probe?target=%4", "/probe?target=%", "/%zz",
                               "/probe?target=rack1#top", "/probe?a=1;target=rack1", "probe?target=x",
                               "ftp://host/probe", "*", "", "/a\x01", "/a b"}) {
        EXPECT_THROW(ParseRequestTarget(target), BadTarget) << target;
    }
}

// What QueryEscaped writes reads back as it was, whatever the bytes.
TEST(RequestTargetTest, EscapedValuesReadBackAsTheyWere) {
    for (const std::string& value : {std::string("rack 1"), std::string("a&b=c?d#e%f+g"),
                                     std::string("\x01\xff\x80", 3), std::string("\xe5\xb1\xb1")}) {
        const auto parsed = ParseRequestTarget("/probe?target=" + exporter::QueryEscaped(value));
        ASSERT_EQ(parsed.Params.count("target"), 1u) << value;
        EXPECT_EQ(parsed.Params.find("target")->second, value);
    }
}

} // namespace
} // namespace qdl::test
