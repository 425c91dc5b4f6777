#pragma once
// The window on a TCP link of its own whose address the window's fields edit: how the
// panel program puts them together, and the soak, the benchmarks and the tests with it.

#include "Gui/FormMain.h"
#include "link/TcpLink.h"

// Constructed before the window, so that the link outlives it.
class TcpLinkHolder
{
protected:
    explicit TcpLinkHolder(TcpLink::Options options) : m_tcpLink(std::move(options)) {}
    TcpLink m_tcpLink;
};

class TcpPanel final : private TcpLinkHolder, public FormMain
{
public:
    explicit TcpPanel(TcpLink::Options options = TcpLink::Options{})
        : TcpLinkHolder(std::move(options)), FormMain(m_tcpLink)
    {
        editAddress(m_tcpLink.address());
    }

    TcpLink &tcpLink() { return m_tcpLink; }

    // The link's own handles, for tests and measurements that drive it.
    void handleKeepAliveTick() { m_tcpLink.handleKeepAliveTick(); }
    void deliverArrival(QByteArrayView bytes) { m_tcpLink.deliverArrival(bytes); }
    DeviceSocket &socket() { return m_tcpLink.socket(); }
    std::optional<double> lastDataTime() const { return m_tcpLink.lastDataTime(); }
};
