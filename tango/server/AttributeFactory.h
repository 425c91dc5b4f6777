#pragma once
// The bench's attributes as Tango declares them, one per row of kBenchAttributes, each an
// attribute class of the server at hand built on Tango's: the device server and the
// benchmark's floor server declare the very same interface.

#include "tango/tables/BenchTables.h"

#include <tango.h>

#include <string>
#include <vector>

// Attr<Base> is built from (row, then Base's own arguments).
template <template <class> class Attr>
void addBenchAttributes(std::vector<Tango::Attr *> &attributes)
{
    for (const BenchAttribute &row : kBenchAttributes) {
        const std::string name(row.name);
        switch (row.kind) {
        case AttrKind::Reading:
            attributes.push_back(new Attr<Tango::Attr>(
                row, name.c_str(), isTemperature(row.row) ? Tango::DEV_DOUBLE : Tango::DEV_LONG, Tango::READ));
            break;
        case AttrKind::Switch:
            attributes.push_back(new Attr<Tango::Attr>(row, name.c_str(), Tango::DEV_BOOLEAN, Tango::READ_WRITE));
            break;
        case AttrKind::Setpoint: {
            const bool volts = kBenchSetpoints[row.row].family == FieldFamily::Piezo;
            attributes.push_back(new Attr<Tango::Attr>(row, name.c_str(), volts ? Tango::DEV_DOUBLE : Tango::DEV_LONG,
                                                       Tango::READ_WRITE));
            break;
        }
        case AttrKind::Frame:
            attributes.push_back(new Attr<Tango::SpectrumAttr>(row, name.c_str(), Tango::DEV_UCHAR,
                                                               static_cast<long>(kStatusFrameSize)));
            break;
        case AttrKind::Message:
            attributes.push_back(new Attr<Tango::Attr>(row, name.c_str(), Tango::DEV_STRING, Tango::READ));
            break;
        }
    }
}
