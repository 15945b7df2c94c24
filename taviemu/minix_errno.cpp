// The host's errors as Minix numbers them.
#include "minix_errno.h"

#include <algorithm>
#include <cerrno>

namespace taviemu {

namespace {

constexpr ErrorMapping kErrors[] = {
    {ELOOP, ENOENT}, // a name that leads nowhere: Minix has no links to loop
    {ENOMSG, EINVAL},          {EIDRM, EINVAL},
    {EOVERFLOW, EFBIG}, // a size or offset past 32 bits
    {EBADFD, EBADF},           {ELIBACC, ENOEXEC},
    {ELIBBAD, ENOEXEC},        {ELIBSCN, ENOEXEC},
    {ELIBMAX, ENOEXEC},        {ELIBEXEC, ENOEXEC},
    {EILSEQ, EINVAL},          {ERESTART, EINTR},
    {ESTRPIPE, EPIPE},         {EUSERS, EAGAIN},
    {ENOTSOCK, EBADF},         {EMSGSIZE, E2BIG},
    {EPROTOTYPE, EINVAL},      {ENOPROTOOPT, EINVAL},
    {EPROTONOSUPPORT, EINVAL}, {ESOCKTNOSUPPORT, EINVAL},
    {EOPNOTSUPP, EINVAL},      {EPFNOSUPPORT, EINVAL},
    {EAFNOSUPPORT, EINVAL},    {EADDRINUSE, EBUSY},
    {EADDRNOTAVAIL, EINVAL},   {ECONNABORTED, EPIPE},
    {ECONNRESET, EPIPE},       {ENOBUFS, ENOMEM},
    {EISCONN, EINVAL},         {ENOTCONN, EPIPE},
    {ESHUTDOWN, EPIPE},        {EALREADY, EAGAIN},
    {EINPROGRESS, EAGAIN},     {EDQUOT, ENOSPC},
    {ENOMEDIUM, ENXIO},        {EMEDIUMTYPE, ENXIO},
    {ECANCELED, EINTR},        {ENOKEY, EACCES},
    {EKEYEXPIRED, EACCES},     {EKEYREVOKED, EACCES},
    {EKEYREJECTED, EACCES},
};

} // namespace

std::span<const ErrorMapping> minix_error_table() {
    return kErrors;
}

int minix_errno(int host) {
    if (host >= 1 && host <= kMinixErrors)
        return host;
    auto found = std::lower_bound(std::begin(kErrors), std::end(kErrors), host,
                                  [](const ErrorMapping &e, int n) { return e.host < n; });
    return found != std::end(kErrors) && found->host == host ? found->minix : EIO;
}

} // namespace taviemu
