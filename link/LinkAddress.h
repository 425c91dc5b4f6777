#pragma once
// Where a TCP link connects: the host and the port as the operator typed them. The link
// reads them afresh at every attempt, so that an edit counts from the next one.

#include <QString>

struct LinkAddress {
    QString host;
    QString port;   // as typed; the socket refuses text that is not a port
};
