#include "StopCheck.h"

namespace qdl::platform {
namespace {

thread_local const std::function<bool()>* current = nullptr;

} // namespace

StopCheckScope::StopCheckScope(std::function<bool()> stopRequested)
    : check_(std::move(stopRequested)), outer_(current) {
    current = &check_;
}

StopCheckScope::~StopCheckScope() {
    current = outer_;
}

void CheckForStop() {
    if (current && (*current)())
        throw StopRequested();
}

bool StopIsChecked() {
    return current != nullptr;
}

} // namespace qdl::platform
