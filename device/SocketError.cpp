#include "SocketError.h"

#include "TextUtil.h"

#include <map>
#include <utility>

namespace qdl {
namespace {

const std::map<int, const char*>& CodeTexts() {
    static const std::map<int, const char*> texts{
        {10004, "Interrupted system call."},
        {10009, "Bad file number."},
        {10013, "Access denied."},
        {10014, "Buffer fault."},
        {10022, "Invalid argument."},
        {10024, "Too many open files."},
        {10035, "Operation would block."},
        {10036, "Operation now in progress."},
        {10037, "Operation already in progress."},
        {10038, "Socket operation on non-socket."},
        {10039, "Destination address required."},
        {10040, "Message too long."},
        {10041, "Protocol wrong type for socket."},
        {10042, "Bad protocol option."},
        {10043, "Protocol not supported."},
        {10044, "Socket type not supported."},
        {10045, "Operation not supported on socket."},
        {10046, "Protocol family not supported."},
        {10047, "Address family not supported by protocol family."},
        {10048, "Address already in use."},
        {10049, "Cannot assign requested address."},
        {10050, "Network is down."},
        {10051, "Network is unreachable."},
        {10052, "Net dropped connection or reset."},
        {10053, "Software caused connection abort."},
        {10054, "Connection reset by peer."},
        {10055, "No buffer space available."},
        {10056, "Socket is already connected."},
        {10057, "Socket is not connected."},
        {10058, "Cannot send or receive after socket is closed."},
        {10059, "Too many references, cannot splice."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10062, "Too many levels of symbolic links."},
        {10063, "File name too long."},
        {10064, "Host is down."},
        {10065, "No route to host."},
        {10066, "Directory not empty."},
        {10069, "Disk quota exceeded."},
        {10070, "Stale NFS file handle."},
        {10071, "Too many levels of remote in path."},
        {11001, "Host not found."},
        {11002, "Non-authoritative response: Host not found."},
        {11003, "Non-recoverable error."},
        {11004, "Valid name, no data record of requested type."},
    };
    return texts;
}

} // namespace

std::string SocketErrorMessage(int code) {
    const auto found = CodeTexts().find(code);
    return Format("Socket Error # %d\n%s", code, found == CodeTexts().end() ? "" : found->second);
}

DeviceFailure SocketFailure(int code, bool connecting) {
    DeviceFailureKind kind = connecting ? DeviceFailureKind::Unreachable : DeviceFailureKind::Protocol;
    if (code == 10061)
        kind = DeviceFailureKind::Refused;
    else if (code == 10060)
        kind = DeviceFailureKind::Timeout;
    else if (code >= HostNotFound)
        kind = DeviceFailureKind::Unreachable;
    return DeviceFailure(kind, SocketErrorMessage(code), code);
}

} // namespace qdl
