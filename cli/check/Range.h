#pragma once

#include <string>

namespace qdl::cli {

// A threshold range in the monitoring-plugins guidelines' syntax: "10" (alert outside 0 to 10),
// "10:" (below 10), "~:10" (above 10), "10:20" (outside 10 to 20), "@10:20" (inside 10 to 20).
class Range {
public:
    // A UsageError naming the option for a text that is no range.
    static Range Parse(const std::string& text, const char* option);

    bool Alerts(double value) const;
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    double low_ = 0;
    double high_ = 0;
    bool lowUnbounded_ = false;
    bool highUnbounded_ = false;
    bool inside_ = false;
};

} // namespace qdl::cli
