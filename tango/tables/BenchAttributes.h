#pragma once
// The bench device's attributes by name, kind, unit and format, from the instrument's
// description. Plain C++, so that the panel's Tango client takes its names from here as
// the server and the panel do.

#include "instrument/Bench.h"

#include <array>
#include <cstdint>
#include <string_view>

enum class AttrKind : std::uint8_t { Reading, Switch, Setpoint, Frame, Message };

struct BenchAttribute {
    std::string_view name;
    AttrKind kind;
    int row;   // in kReadbacks, kSwitches or kBenchSetpoints: the field's place among its kind; 0 for the others
    std::string_view unit;
    std::string_view format;
    std::string_view description;
};

// Every reading, switch and setpoint of the description, in its order, then the frame and the message.
inline constexpr int kBenchAttributeCount =
    fieldCount(FieldKind::Reading) + fieldCount(FieldKind::Switch) + fieldCount(FieldKind::Setpoint) + 2;
inline constexpr auto kBenchAttributes = [] {
    std::array<BenchAttribute, kBenchAttributeCount> rows{};
    std::size_t n = 0;
    std::array<int, 3> rowOfKind{};
    for (const BenchField &field : kBenchFields) {
        if (field.kind == FieldKind::Command)
            continue;
        const AttrKind kind = field.kind == FieldKind::Reading ? AttrKind::Reading
                              : field.kind == FieldKind::Switch ? AttrKind::Switch
                                                                : AttrKind::Setpoint;
        const int row = rowOfKind[static_cast<std::size_t>(kind)]++;
        rows[n++] = {field.attribute, kind, row, field.unit, field.tangoFormat, field.description};
    }
    rows[n++] = {"StatusFrame", AttrKind::Frame, 0, "", "%3d", "The last status frame's 33 bytes as received"};
    rows[n++] = {"LastMessage", AttrKind::Message, 0, "", "%s",
                 "The last message frame's text, one character per byte (Latin-1)"};
    return rows;
}();

// The first attribute of a kind: the frame's or the message's, which there is one of each.
constexpr const BenchAttribute &benchAttribute(AttrKind kind)
{
    for (const BenchAttribute &attribute : kBenchAttributes)
        if (attribute.kind == kind)
            return attribute;
    return kBenchAttributes.front();
}
