#include "TransportOptions.h"

namespace orvane::mail {

TlsStart standardTlsStart(int port)
{
    return port == 465 ? TlsStart::Implicit : TlsStart::StartTls;
}

} // namespace orvane::mail
