#include "commands/SetpointRules.h"

#include "commands/LeadingNumber.h"

#include <cmath>

namespace {

constexpr double kPiezoMax = kPiezoFullScaleVolts;
constexpr double kCountMax = kFullScaleCount;
constexpr double kInjectionMax = kFieldsOf<FieldKind::Setpoint>[fieldIndexOf(FieldKind::Setpoint, Command::SetInjCurrent)].guard;
static_assert(kInjectionMax > 0, "the injection laser's field has its guard");

bool outside(double value, double max)
{
    return value < 0 || value > max;
}

// A setpoint box as its rules see it. A write that changes the text runs the Change rule
// again inside the write; the outer rule then carries on with whatever text that left.
// Every rewrite lands on a text its own rule keeps, so the nesting ends within two levels.
class Box {
public:
    Box(FieldFamily family, QStringView text) : m_family(family), m_text(text.toString()) {}

    const QString &text() const { return m_text; }

    void write(const QString &text)
    {
        if (text == m_text)
            return;
        m_text = text;
        runChange();
    }

    void runChange()
    {
        switch (m_family) {
        case FieldFamily::Piezo:
            applyPiezoRule();
            break;
        case FieldFamily::Current:
            applyCurrentRule();
            break;
        case FieldFamily::Dac:
            applyDacRule();
            break;
        }
    }

    double value() const { return leadingNumber(m_text); }

private:
    void applyPiezoRule()
    {
        if (outside(value(), kPiezoMax))
            write(QString());
    }

    void applyCurrentRule()
    {
        if (outside(value(), kCountMax))
            write(QString());
        // only an in-range value survives the step above with text left in the box
        if (!m_text.isEmpty())
            write(QString::number(static_cast<int>(std::floor(value()))));
    }

    void applyDacRule()
    {
        if (value() < 0)
            write(QStringLiteral("0"));
        if (value() > kCountMax)
            write(QString::number(kFullScaleCount));
    }

    FieldFamily m_family;
    QString m_text;
};

} // namespace

QString settleText(FieldFamily family, QStringView text)
{
    Box box(family, text);
    box.runChange();
    return box.text();
}

QString injectionLimit(QStringView text)
{
    Box box(FieldFamily::Current, text);
    if (outside(box.value(), kInjectionMax))
        box.write(QStringLiteral("0"));
    return box.text();
}
