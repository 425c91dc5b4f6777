#pragma once
// The window's controls as tables (kind, caption, tooltip, geometry and tab order), checked
// against each other when compiling, and the typed pointers that building them returns.

#include "commands/CommandFrames.h"
#include "commands/SetpointRules.h"
#include "status/StatusFrame.h"

#include <QRect>

#include <array>
#include <string_view>

class CaptionButton;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class ReadbackBox;
class SwitchBox;

// 1/1440 inch; 15 to a pixel at 96 dpi. Qt's high-DPI scaling does the rest.
struct Twips {
    int left, top, width, height;
};
QRect toPixels(Twips twips);

enum class ControlKind : std::uint8_t {
    GroupBox, SetpointField, ReadbackBox, Switch, Button, GlyphLabel, TextField, Console, CheckBox,
};

struct ControlSpec {
    std::string_view name;
    std::string_view parent;   // empty: directly on the window
    ControlKind kind;
    std::string_view text;     // caption or initial text, UTF-8
    std::string_view tooltip;
    Twips at;                  // relative to the parent
    int maxLength = 0;         // 0: no limit
    bool alignLeft = false;    // text boxes are centred unless this is set
};

using K = ControlKind;
// Group boxes come first so that every parent exists before its children.
inline constexpr auto kControls = std::to_array<ControlSpec>({
    {"Frame3", "", K::GroupBox, "External Cavity Laser", "", {120, 120, 5520, 1335}},
    {"Frame4", "", K::GroupBox, "Injection Laser", "", {120, 1560, 5520, 1335}},
    {"Frame5", "", K::GroupBox, "Up Converter", "", {120, 3000, 5520, 855}},
    {"Frame6", "", K::GroupBox, "Down Converter", "", {120, 3960, 5520, 975}},
    {"Frame7", "", K::GroupBox, "Setting Control", "", {0, 5040, 1440, 615}},
    {"Frame8", "", K::GroupBox, "Piezo Scan Loads", "", {1560, 5040, 1600, 615}},
    {"Frame1", "", K::GroupBox, "X-axis (mV)", "", {0, 5760, 1575, 855}},
    {"Frame2", "", K::GroupBox, "Y-axis (mV)", "", {1560, 5760, 1575, 855}},
    {"Frame9", "", K::GroupBox, "IP Address", "", {0, 6720, 2040, 735}},
    {"Frame10", "", K::GroupBox, "Port", "", {2040, 6720, 2040, 735}},

    {"txtEclTemp", "Frame3", K::ReadbackBox, "?°", "", {120, 240, 1000, 285}},
    {"txtEclTec", "Frame3", K::ReadbackBox, "TEC: ?", "", {1320, 240, 1000, 285}},
    {"chkEclTec", "Frame3", K::Switch, "TEC On", "", {2320, 250, 975, 255}},
    {"txtEclPd", "Frame3", K::ReadbackBox, "PD: ?%", "", {3300, 240, 1000, 285}},
    {"chkNarrow", "Frame3", K::Switch, "Narrow", "", {4440, 240, 975, 255}},
    {"chkSlowLock", "Frame3", K::Switch, "Slow lock", "", {4440, 480, 1000, 255}},
    {"txtEclCurrent", "Frame3", K::SetpointField, "0", "0 to 4095", {120, 710, 1000, 285}, 4},
    {"cmdSetEcl", "Frame3", K::Button, "Set Current", "", {1100, 675, 975, 350}},
    {"txtEclPiezo", "Frame3", K::SetpointField, "0", "0 to 63.3", {2160, 700, 1000, 285}, 5},
    {"cmdEclPiezo", "Frame3", K::Button, "Set Piezo", "", {3135, 675, 975, 350}},
    {"txtEclCurrentDac", "Frame3", K::ReadbackBox, "?", "DAC readback: 0 to 4095", {120, 960, 1000, 285}},
    {"txtEclPiezoDac", "Frame3", K::ReadbackBox, "?", "DAC readback: 0 to 4095", {2160, 960, 1000, 285}},

    {"txtInjTemp", "Frame4", K::ReadbackBox, "?°", "", {120, 240, 1000, 285}},
    {"txtInjTec", "Frame4", K::ReadbackBox, "TEC: ?", "", {1320, 240, 1000, 285}},
    {"chkInjTec", "Frame4", K::Switch, "TEC On", "", {2320, 250, 975, 255}},
    {"txtInjCurrent", "Frame4", K::SetpointField, "0", "0 to 4095", {120, 700, 1000, 285}, 4},
    {"cmdSetInj", "Frame4", K::Button, "Set Current", "", {1100, 675, 975, 350}},
    {"txtInjCurrentDac", "Frame4", K::ReadbackBox, "?", "DAC readback: 0 to 4095", {120, 960, 1000, 285}},

    {"txtUpPd", "Frame5", K::ReadbackBox, "PD: ?", "", {120, 240, 1000, 285}},
    {"txtUpPiezo", "Frame5", K::SetpointField, "0", "0 to 63.3", {1320, 240, 1000, 285}, 5},
    {"cmdUpPiezo", "Frame5", K::Button, "Set Piezo", "", {2280, 240, 975, 350}},
    {"txtUpPiezoDac", "Frame5", K::ReadbackBox, "?", "DAC readback: 0 to 4095", {1320, 480, 1000, 285}},
    {"Label1", "Frame5", K::GlyphLabel, "(  O   )", "", {4200, 180, 1110, 435}},

    {"txtDownPd", "Frame6", K::ReadbackBox, "PD: ?", "", {120, 240, 1000, 285}},
    {"txtDownPiezo", "Frame6", K::SetpointField, "0", "0 to 63.3", {1320, 240, 1000, 285}, 5},
    {"cmdDownPiezo", "Frame6", K::Button, "Set Piezo", "", {2280, 240, 975, 350}},
    {"txtDownPiezoDac", "Frame6", K::ReadbackBox, "?", "DAC readback: 0 to 4095", {1320, 480, 1000, 285}},
    {"chkHeater", "Frame6", K::Switch, "Heater", "", {240, 600, 1215, 255}},
    {"Label3", "Frame6", K::GlyphLabel, "( oo   )", "", {4200, 240, 1155, 435}},

    {"txtPot", "Frame7", K::ReadbackBox, "?", "", {120, 240, 1000, 285}},
    {"chkScanEn", "Frame8", K::Switch, "Scanning", "", {120, 240, 1215, 255}},

    {"txtXdac", "Frame1", K::SetpointField, "0", "0 to 4095", {120, 240, 495, 285}, 4, true},
    {"cmdXdac", "Frame1", K::Button, "Update", "", {600, 240, 735, 255}},
    {"txtXdacDac", "Frame1", K::ReadbackBox, "?", "DAC readback: 0 to 4095", {120, 480, 765, 285}},
    {"txtYdac", "Frame2", K::SetpointField, "0", "0 to 4095", {120, 240, 495, 285}, 4, true},
    {"cmdYdac", "Frame2", K::Button, "Update", "", {600, 240, 735, 255}},
    {"txtYdacDac", "Frame2", K::ReadbackBox, "?", "DAC readback: 0 to 4095", {120, 480, 765, 285}},

    {"cmdXYsquare", "", K::Button, "X-Y Square", "", {3120, 5880, 735, 495}},
    {"cmdWarmBoot", "", K::Button, "Warm Reboot", "", {3960, 5760, 855, 615}},
    {"cmdEcho", "", K::Button, "Bounce Hi!", "Puts test text on the debug display.", {4920, 5760, 700, 615}},

    {"txtIP", "Frame9", K::TextField, "", "", {120, 240, 1725, 285}, 15},
    {"txtPort", "Frame10", K::TextField, "", "", {120, 240, 1725, 285}, 5},   // kDefaultPort
    {"chkOnTop", "", K::CheckBox, "On Top", "", {4200, 6720, 975, 255}},
    {"txtMsg", "", K::Console, "", "", {0, 7560, 5655, 2895}},
});
static_assert(kControls.size() == 54);

// Two diode symbols: triangle (base on top, sides meeting below) and a bar under the point.
struct GlyphLineSpec {
    std::string_view name;
    std::string_view parent;
    int x1, y1, x2, y2;   // twips, relative to the group box
};
inline constexpr std::array<GlyphLineSpec, 8> kGlyphLines{{
    {"Line4", "Frame4", 4800, 525, 5040, 835},  {"Line3", "Frame4", 5280, 525, 5040, 835},
    {"Line2", "Frame4", 5280, 525, 4800, 525},  {"Line1", "Frame4", 5280, 840, 4800, 840},
    {"Line12", "Frame3", 4800, 765, 5040, 1075}, {"Line11", "Frame3", 5280, 765, 5040, 1075},
    {"Line10", "Frame3", 5280, 765, 4800, 765},  {"Line9", "Frame3", 5280, 1080, 4800, 1080},
}};

// Keyboard order over the whole window; group boxes and glyph labels hold a place
// but never take the focus, and readback boxes are left out of the Tab cycle.
inline constexpr std::array<std::string_view, 54> kTabOrder{{
    "cmdEcho", "Frame1", "txtXdac", "cmdXdac", "Frame2", "cmdYdac", "txtYdac", "cmdXYsquare",
    "Frame3", "txtEclTemp", "cmdWarmBoot", "cmdSetEcl", "txtEclTec", "Frame4", "txtInjTec",
    "txtInjTemp", "Frame5", "txtUpPiezo", "txtUpPd", "Frame6", "txtDownPd", "txtDownPiezo",
    "Frame7", "txtPot", "txtEclPd", "txtEclCurrent", "Label3", "Label1", "cmdSetInj",
    "txtInjCurrent", "chkEclTec", "chkInjTec", "txtEclPiezo", "cmdEclPiezo", "cmdUpPiezo",
    "cmdDownPiezo", "Frame8", "chkScanEn", "chkNarrow", "chkHeater", "txtMsg", "Frame9", "txtIP",
    "Frame10", "txtPort", "chkSlowLock", "chkOnTop", "txtEclCurrentDac", "txtEclPiezoDac",
    "txtInjCurrentDac", "txtUpPiezoDac", "txtDownPiezoDac", "txtXdacDac", "txtYdacDac",
}};

// Each setpoint field, the button that sends it and the command that button sends.
struct SetpointSpec {
    std::string_view field;
    FieldFamily family;
    std::string_view button;
    Command command;
};
inline constexpr std::array<SetpointSpec, 7> kSetpoints{{
    {"txtEclCurrent", FieldFamily::Current, "cmdSetEcl", Command::SetEclCurrent},
    {"txtEclPiezo", FieldFamily::Piezo, "cmdEclPiezo", Command::SetEclPiezo},
    {"txtInjCurrent", FieldFamily::Current, "cmdSetInj", Command::SetInjCurrent},
    {"txtUpPiezo", FieldFamily::Piezo, "cmdUpPiezo", Command::SetUpPiezo},
    {"txtDownPiezo", FieldFamily::Piezo, "cmdDownPiezo", Command::SetDownPiezo},
    {"txtXdac", FieldFamily::Dac, "cmdXdac", Command::SetXdac},
    {"txtYdac", FieldFamily::Dac, "cmdYdac", Command::SetYdac},
}};

// Buttons without a field.
struct ActionSpec {
    std::string_view control;
    Command command;
};
inline constexpr std::array<ActionSpec, 3> kFixedButtons{{
    {"cmdXYsquare", Command::XYSquare}, {"cmdWarmBoot", Command::WarmBoot}, {"cmdEcho", Command::Echo},
}};

// The readback box of each reading, in kReadbacks order: "txt" + the reading's field.
inline constexpr std::array<std::string_view, kReadbackCount> kReadbackBoxes{{
    "txtEclPd", "txtEclTec", "txtEclTemp", "txtInjTec", "txtInjTemp", "txtUpPd", "txtDownPd",
    "txtPot", "txtEclCurrentDac", "txtEclPiezoDac", "txtInjCurrentDac", "txtUpPiezoDac",
    "txtDownPiezoDac", "txtXdacDac", "txtYdacDac",
}};

// Each control is `prefix` + the name of its protocol row, row for row.
template <typename Boxes, typename Rows, typename Row>
consteval bool namedAfterRows(const Boxes &boxes, std::string_view prefix, const Rows &rows,
                              std::string_view Row::*name)
{
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (!boxes[i].starts_with(prefix) || boxes[i].substr(prefix.size()) != rows[i].*name)
            return false;
    }
    return true;
}
static_assert(namedAfterRows(kReadbackBoxes, "txt", kReadbacks, &ReadbackInfo::field));

// The check box of each switch, in kSwitches order: "chk" + the switch's name.
inline constexpr std::array<std::string_view, kSwitchCount> kSwitchBoxes{{
    "chkEclTec", "chkInjTec", "chkScanEn", "chkHeater", "chkNarrow", "chkSlowLock",
}};
static_assert(namedAfterRows(kSwitchBoxes, "chk", kSwitches, &SwitchInfo::name));

// Whether a row of kControls before `before` is named `name`; whether the row named
// `name` is of `kind`. They answer yes or no rather than hand out a row: a sanitizing
// build cannot compare a row's address with null at compile time.
consteval bool hasControl(std::string_view name, std::size_t before = kControls.size())
{
    for (std::size_t i = 0; i < before; ++i) {
        if (kControls[i].name == name)
            return true;
    }
    return false;
}
consteval bool isControl(std::string_view name, ControlKind kind)
{
    for (const ControlSpec &row : kControls) {
        if (row.name == name)
            return row.kind == kind;
    }
    return false;
}

// A name in a table that no control carries, or a control of the wrong kind, would only
// show as a crash once the window is built; here it stops the build.
consteval bool tablesNameTheirControls()
{
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        const std::string_view parent = kControls[i].parent;
        if (hasControl(kControls[i].name, i) || (!parent.empty() && !hasControl(parent, i)))
            return false;
    }
    for (const GlyphLineSpec &row : kGlyphLines) {
        if (!isControl(row.parent, ControlKind::GroupBox))
            return false;
    }
    for (std::string_view name : kTabOrder) {
        if (!hasControl(name))
            return false;
    }
    for (const SetpointSpec &row : kSetpoints) {
        if (!isControl(row.field, ControlKind::SetpointField) || !isControl(row.button, ControlKind::Button))
            return false;
    }
    for (const ActionSpec &row : kFixedButtons) {
        if (!isControl(row.control, ControlKind::Button))
            return false;
    }
    for (std::string_view name : kReadbackBoxes) {
        if (!isControl(name, ControlKind::ReadbackBox))
            return false;
    }
    for (std::string_view name : kSwitchBoxes) {
        if (!isControl(name, ControlKind::Switch))
            return false;
    }
    return isControl("txtMsg", ControlKind::Console) && isControl("txtIP", ControlKind::TextField)
           && isControl("txtPort", ControlKind::TextField) && isControl("chkOnTop", ControlKind::CheckBox)
           && isControl("cmdEcho", ControlKind::Button);
}
static_assert(tablesNameTheirControls());

// The controls the window's behaviour uses, each in the type it was built as.
struct Controls {
    struct Setpoint {
        QLineEdit *field;
        CaptionButton *button;
    };

    QPlainTextEdit *txtMsg;
    QLineEdit *txtIP;
    QLineEdit *txtPort;
    QCheckBox *chkOnTop;
    CaptionButton *cmdEcho;
    std::array<ReadbackBox *, kReadbackCount> readbacks;   // kReadbacks order
    std::array<SwitchBox *, kSwitchCount> switches;        // kSwitches order
    std::array<Setpoint, kSetpoints.size()> setpoints;     // kSetpoints order
    std::array<CaptionButton *, kFixedButtons.size()> fixedButtons;
};

// Creates every control of the tables as a child of `client`, named after its table
// row, and chains the Tab order of kTabOrder.
Controls buildControls(QWidget &client);
