#pragma once

#include "FailureOf.h"
#include "QDLHttpU.h"
#include "ScriptedSwitch.h"

#include <gtest/gtest.h>

#include <functional>

namespace qdl::test {

// "admin:40617253" in Base64.
inline const std::string DefaultAuthorization = "YWRtaW46NDA2MTcyNTM=";

// A client talking to a scripted switch with the program's default credentials.
class DeviceTest : public testing::Test {
protected:
    explicit DeviceTest(HttpClientOptions options = {}) : http(std::move(options)) {}

    bool GetPowerFromSwitch(const std::string& host = "127.0.0.1") {
        return GetPower(http, host, device.Port(), "admin", "40617253", reply);
    }

    ScriptedSwitch device;
    HttpClient http;
    ReplyList reply;
};

} // namespace qdl::test
