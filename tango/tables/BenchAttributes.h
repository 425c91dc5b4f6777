#pragma once
// The bench device's attributes by name, kind, unit and format. Plain C++, so that the
// panel's Tango client takes its names from here as the server and the panel do.

#include <array>
#include <cstdint>
#include <string_view>

enum class AttrKind : std::uint8_t { Reading, Switch, Setpoint, Frame, Message };

struct BenchAttribute {
    std::string_view name;
    AttrKind kind;
    int row;   // in kReadbacks, kSwitches or kBenchSetpoints; 0 for the others
    std::string_view unit;
    std::string_view format;
    std::string_view description;
};

inline constexpr int kBenchAttributeCount = 30;
inline constexpr std::array<BenchAttribute, kBenchAttributeCount> kBenchAttributes{{
    {"EclPd",         AttrKind::Reading, 0,  "count", "%4d",   "ECL photodiode"},
    {"EclTec",        AttrKind::Reading, 1,  "count", "%4d",   "ECL cooler drive"},
    {"EclTemp",       AttrKind::Reading, 2,  "degC",  "%6.3f", "ECL temperature"},
    {"InjTec",        AttrKind::Reading, 3,  "count", "%4d",   "Injection laser cooler drive"},
    {"InjTemp",       AttrKind::Reading, 4,  "degC",  "%6.3f", "Injection laser temperature"},
    {"UpPd",          AttrKind::Reading, 5,  "count", "%4d",   "Upstream photodiode"},
    {"DownPd",        AttrKind::Reading, 6,  "count", "%4d",   "Downstream photodiode"},
    {"Pot",           AttrKind::Reading, 7,  "count", "%4d",   "Potentiometer"},
    {"EclCurrentDac", AttrKind::Reading, 8,  "count", "%4d",   "ECL current DAC readback"},
    {"EclPiezoDac",   AttrKind::Reading, 9,  "count", "%4d",   "ECL piezo DAC readback"},
    {"InjCurrentDac", AttrKind::Reading, 10, "count", "%4d",   "Injection current DAC readback"},
    {"UpPiezoDac",    AttrKind::Reading, 11, "count", "%4d",   "Upstream piezo DAC readback"},
    {"DownPiezoDac",  AttrKind::Reading, 12, "count", "%4d",   "Downstream piezo DAC readback"},
    {"XdacDac",       AttrKind::Reading, 13, "count", "%4d",   "X DAC readback"},
    {"YdacDac",       AttrKind::Reading, 14, "count", "%4d",   "Y DAC readback"},
    {"EclTecOn",      AttrKind::Switch,  0,  "", "%d", "ECL temperature control"},
    {"InjTecOn",      AttrKind::Switch,  1,  "", "%d", "Injection laser temperature control"},
    {"ScanOn",        AttrKind::Switch,  2,  "", "%d", "Scan"},
    {"HeaterOn",      AttrKind::Switch,  3,  "", "%d", "Heater"},
    {"NarrowOn",      AttrKind::Switch,  4,  "", "%d", "Narrow"},
    {"SlowLockOn",    AttrKind::Switch,  5,  "", "%d", "Slow lock"},
    {"EclCurrent",    AttrKind::Setpoint, 0, "count", "%4d",   "ECL current setpoint; reads the last value written"},
    {"InjCurrent",    AttrKind::Setpoint, 1, "count", "%4d",   "Injection current setpoint; reads the last value written"},
    {"Xdac",          AttrKind::Setpoint, 2, "count", "%4d",   "X DAC setpoint; reads the last value written"},
    {"Ydac",          AttrKind::Setpoint, 3, "count", "%4d",   "Y DAC setpoint; reads the last value written"},
    {"EclPiezo",      AttrKind::Setpoint, 4, "V",     "%5.2f", "ECL piezo setpoint; reads the last value written"},
    {"UpPiezo",       AttrKind::Setpoint, 5, "V",     "%5.2f", "Upstream piezo setpoint; reads the last value written"},
    {"DownPiezo",     AttrKind::Setpoint, 6, "V",     "%5.2f", "Downstream piezo setpoint; reads the last value written"},
    {"StatusFrame",   AttrKind::Frame,   0,  "", "%3d", "The last status frame's 33 bytes as received"},
    {"LastMessage",   AttrKind::Message, 0,  "", "%s",  "The last message frame's text, one character per byte (Latin-1)"},
}};

// The first attribute of a kind: the frame's or the message's, which there is one of each.
constexpr const BenchAttribute &benchAttribute(AttrKind kind)
{
    for (const BenchAttribute &attribute : kBenchAttributes)
        if (attribute.kind == kind)
            return attribute;
    return kBenchAttributes.front();
}
