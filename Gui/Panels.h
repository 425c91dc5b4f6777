#pragma once
// The window's controls as tables (kind, caption, tooltip, geometry and tab order), checked
// against each other when compiling, and the typed pointers that building them returns.

#include "commands/CommandFrames.h"
#include "commands/SetpointRules.h"
#include "instrument/Bench.h"
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

// Names and tooltips made from the instrument's description at compile time: "txt" + a
// reading's or setpoint's field, "chk" + a switch's, each NUL-terminated, as Qt reads names.
struct ControlText {
    std::array<char, 40> chars{};
    std::size_t size = 0;

    constexpr std::string_view view() const { return {chars.data(), size}; }
    constexpr ControlText &operator<<(std::string_view text)
    {
        for (char c : text)
            append(c);
        return *this;
    }
    // Whole numbers and up to three decimals, trailing zeros dropped, as the tooltips read.
    constexpr ControlText &operator<<(double value)
    {
        const auto thousandths = static_cast<long long>(value * 1000 + 0.5);
        appendDigits(thousandths / 1000, 1);
        long long fraction = thousandths % 1000;
        int places = 3;
        for (; places > 0 && fraction % 10 == 0; --places)
            fraction /= 10;
        if (places > 0) {
            *this << ".";
            appendDigits(fraction, places);
        }
        return *this;
    }

private:
    constexpr void append(char c)
    {
        if (size + 1 >= chars.size())
            throw "a control's text is too long";   // the NUL must fit
        chars[size++] = c;
    }
    constexpr void appendDigits(long long value, int least)
    {
        std::array<char, 20> digits{};
        int n = 0;
        for (; value > 0 || n < least; value /= 10)
            digits[static_cast<std::size_t>(n++)] = static_cast<char>('0' + value % 10);
        while (n > 0)
            append(digits[static_cast<std::size_t>(--n)]);
    }
};

// One text per row of kBenchFields: the control's name, and its tooltip's range where it has one.
inline constexpr auto kFieldControlNames = [] {
    std::array<ControlText, kBenchFields.size()> names{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const BenchField &row = kBenchFields[i];
        if (row.kind != FieldKind::Command)
            names[i] << (row.kind == FieldKind::Switch ? "chk" : "txt") << row.field;
    }
    return names;
}();
inline constexpr auto kFieldTooltips = [] {
    std::array<ControlText, kBenchFields.size()> tips{};
    for (std::size_t i = 0; i < tips.size(); ++i) {
        const BenchField &row = kBenchFields[i];
        if (row.kind != FieldKind::Setpoint)
            continue;
        tips[i] << "0 to " << row.fullScale;
        // the readback box of its DAC says so
        for (std::size_t dac = 0, n = 0; dac < tips.size(); ++dac) {
            if (kBenchFields[dac].kind == FieldKind::Reading && static_cast<int>(n++) == dacReadingOf(row.field))
                tips[dac] << "DAC readback: 0 to " << kBenchFields[dac].fullScale;
        }
    }
    return tips;
}();

// The row of kBenchFields of this kind and field; a name the description lacks stops the build.
consteval std::size_t benchRow(FieldKind kind, std::string_view field)
{
    for (std::size_t i = 0; i < kBenchFields.size(); ++i) {
        if (kBenchFields[i].kind == kind && kBenchFields[i].field == field)
            return i;
    }
    throw "no such field in the instrument's description";
}
consteval std::string_view controlOf(FieldKind kind, std::string_view field)
{
    return kFieldControlNames[benchRow(kind, field)].view();
}

// The rows of controls that show a field: name, caption and tooltip from the description,
// geometry from the panel.
consteval ControlSpec readbackBox(std::string_view field, std::string_view parent, std::string_view text, Twips at)
{
    const std::size_t row = benchRow(FieldKind::Reading, field);
    return {kFieldControlNames[row].view(), parent, ControlKind::ReadbackBox, text, kFieldTooltips[row].view(), at};
}
consteval ControlSpec switchBox(std::string_view field, std::string_view parent, Twips at)
{
    const std::size_t row = benchRow(FieldKind::Switch, field);
    return {kFieldControlNames[row].view(), parent, ControlKind::Switch, kBenchFields[row].label, "", at};
}
consteval ControlSpec setpointField(std::string_view field, std::string_view parent, Twips at, int maxLength,
                                    bool alignLeft = false)
{
    const std::size_t row = benchRow(FieldKind::Setpoint, field);
    return {kFieldControlNames[row].view(), parent, ControlKind::SetpointField, "0", kFieldTooltips[row].view(),
            at, maxLength, alignLeft};
}
consteval std::string_view captionOf(Command command)
{
    for (const BenchField &row : kBenchFields) {
        if (row.kind == FieldKind::Command && row.command == command)
            return row.label;
    }
    throw "no such command in the instrument's description";
}

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

    readbackBox("EclTemp", "Frame3", "?°", {120, 240, 1000, 285}),
    readbackBox("EclTec", "Frame3", "TEC: ?", {1320, 240, 1000, 285}),
    switchBox("EclTec", "Frame3", {2320, 250, 975, 255}),
    readbackBox("EclPd", "Frame3", "PD: ?%", {3300, 240, 1000, 285}),
    switchBox("Narrow", "Frame3", {4440, 240, 975, 255}),
    switchBox("SlowLock", "Frame3", {4440, 480, 1000, 255}),
    setpointField("EclCurrent", "Frame3", {120, 710, 1000, 285}, 4),
    {"cmdSetEcl", "Frame3", K::Button, "Set Current", "", {1100, 675, 975, 350}},
    setpointField("EclPiezo", "Frame3", {2160, 700, 1000, 285}, 5),
    {"cmdEclPiezo", "Frame3", K::Button, "Set Piezo", "", {3135, 675, 975, 350}},
    readbackBox("EclCurrentDac", "Frame3", "?", {120, 960, 1000, 285}),
    readbackBox("EclPiezoDac", "Frame3", "?", {2160, 960, 1000, 285}),

    readbackBox("InjTemp", "Frame4", "?°", {120, 240, 1000, 285}),
    readbackBox("InjTec", "Frame4", "TEC: ?", {1320, 240, 1000, 285}),
    switchBox("InjTec", "Frame4", {2320, 250, 975, 255}),
    setpointField("InjCurrent", "Frame4", {120, 700, 1000, 285}, 4),
    {"cmdSetInj", "Frame4", K::Button, "Set Current", "", {1100, 675, 975, 350}},
    readbackBox("InjCurrentDac", "Frame4", "?", {120, 960, 1000, 285}),

    readbackBox("UpPd", "Frame5", "PD: ?", {120, 240, 1000, 285}),
    setpointField("UpPiezo", "Frame5", {1320, 240, 1000, 285}, 5),
    {"cmdUpPiezo", "Frame5", K::Button, "Set Piezo", "", {2280, 240, 975, 350}},
    readbackBox("UpPiezoDac", "Frame5", "?", {1320, 480, 1000, 285}),
    {"Label1", "Frame5", K::GlyphLabel, "(  O   )", "", {4200, 180, 1110, 435}},

    readbackBox("DownPd", "Frame6", "PD: ?", {120, 240, 1000, 285}),
    setpointField("DownPiezo", "Frame6", {1320, 240, 1000, 285}, 5),
    {"cmdDownPiezo", "Frame6", K::Button, "Set Piezo", "", {2280, 240, 975, 350}},
    readbackBox("DownPiezoDac", "Frame6", "?", {1320, 480, 1000, 285}),
    switchBox("Heater", "Frame6", {240, 600, 1215, 255}),
    {"Label3", "Frame6", K::GlyphLabel, "( oo   )", "", {4200, 240, 1155, 435}},

    readbackBox("Pot", "Frame7", "?", {120, 240, 1000, 285}),
    switchBox("ScanEn", "Frame8", {120, 240, 1215, 255}),

    setpointField("Xdac", "Frame1", {120, 240, 495, 285}, 4, true),
    {"cmdXdac", "Frame1", K::Button, "Update", "", {600, 240, 735, 255}},
    readbackBox("XdacDac", "Frame1", "?", {120, 480, 765, 285}),
    setpointField("Ydac", "Frame2", {120, 240, 495, 285}, 4, true),
    {"cmdYdac", "Frame2", K::Button, "Update", "", {600, 240, 735, 255}},
    readbackBox("YdacDac", "Frame2", "?", {120, 480, 765, 285}),

    {"cmdXYsquare", "", K::Button, captionOf(Command::XYSquare), "", {3120, 5880, 735, 495}},
    {"cmdWarmBoot", "", K::Button, captionOf(Command::WarmBoot), "", {3960, 5760, 855, 615}},
    {"cmdEcho", "", K::Button, captionOf(Command::Echo), "Puts test text on the debug display.", {4920, 5760, 700, 615}},

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
// A setpoint of the description and its button: the field's name, family and command follow.
consteval SetpointSpec setpointButton(std::string_view field, std::string_view button)
{
    const BenchField &row = kBenchFields[benchRow(FieldKind::Setpoint, field)];
    return {controlOf(FieldKind::Setpoint, field), row.family, button, row.command};
}
inline constexpr std::array<SetpointSpec, fieldCount(FieldKind::Setpoint)> kSetpoints{{
    setpointButton("EclCurrent", "cmdSetEcl"),
    setpointButton("EclPiezo", "cmdEclPiezo"),
    setpointButton("InjCurrent", "cmdSetInj"),
    setpointButton("UpPiezo", "cmdUpPiezo"),
    setpointButton("DownPiezo", "cmdDownPiezo"),
    setpointButton("Xdac", "cmdXdac"),
    setpointButton("Ydac", "cmdYdac"),
}};

// Buttons without a field, each a command of the description.
struct ActionSpec {
    std::string_view control;
    Command command;
};
inline constexpr std::array<ActionSpec, fieldCount(FieldKind::Command)> kFixedButtons{{
    {"cmdXYsquare", Command::XYSquare}, {"cmdWarmBoot", Command::WarmBoot}, {"cmdEcho", Command::Echo},
}};

// The readback box of each reading, in kReadbacks order, and the check box of each switch,
// in kSwitches order: "txt" or "chk" + the field's name.
template <FieldKind kind>
inline constexpr auto kFieldControls = [] {
    std::array<std::string_view, fieldCount(kind)> names{};
    for (std::size_t i = 0, n = 0; i < kBenchFields.size(); ++i) {
        if (kBenchFields[i].kind == kind)
            names[n++] = kFieldControlNames[i].view();
    }
    return names;
}();
inline constexpr const auto &kReadbackBoxes = kFieldControls<FieldKind::Reading>;
inline constexpr const auto &kSwitchBoxes = kFieldControls<FieldKind::Switch>;

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
        if (!isControl(row.control, ControlKind::Button) || captionOf(row.command).empty())
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
