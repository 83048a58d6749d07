#include "SocketError.h"

#include "TextUtil.h"

#include <netdb.h>

#include <cerrno>
#include <map>
#include <utility>

namespace qdl {
namespace {

constexpr int HostNotFound = 11001;

const std::map<int, int>& ErrnoCodes() {
    static const std::map<int, int> codes{
        {EINTR, 10004},         {EBADF, 10009},        {EACCES, 10013},          {EFAULT, 10014},
        {EINVAL, 10022},        {EMFILE, 10024},       {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},
        {EALREADY, 10037},      {ENOTSOCK, 10038},     {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
        {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
        {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},     {ENETUNREACH, 10051},     {ENETRESET, 10052},
        {ECONNABORTED, 10053},  {ECONNRESET, 10054},   {EPIPE, 10054},           {ENOBUFS, 10055},
        {EISCONN, 10056},       {ENOTCONN, 10057},     {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},
        {ETIMEDOUT, 10060},     {ECONNREFUSED, 10061}, {ELOOP, 10062},           {ENAMETOOLONG, 10063},
        {EHOSTDOWN, 10064},     {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},       {EDQUOT, 10069},
        {ESTALE, 10070},        {EREMOTE, 10071},
    };
    return codes;
}

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

int SocketErrorCode(int posixErrno) {
    const auto found = ErrnoCodes().find(posixErrno);
    return found == ErrnoCodes().end() ? posixErrno : found->second;
}

int ResolverErrorCode(int gaiError) {
    switch (gaiError) {
    case EAI_AGAIN:
        return 11002;
    case EAI_FAIL:
        return 11003;
    case EAI_NODATA:
        return 11004;
    case EAI_SYSTEM:
        return SocketErrorCode(errno);
    default:
        return HostNotFound;
    }
}

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
