#include "window/SpinEdit.h"

#include <QLineEdit>

#include <algorithm>
#include <limits>
#include <optional>

namespace morvane {

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent)
{
    UpdateRange();
    QSpinBox::setValue(0);
}

int TSpinEdit::Clamp(int value) const
{
    if (minValue_ == maxValue_)
        return value;
    return std::clamp(value, std::min(minValue_, maxValue_), std::max(minValue_, maxValue_));
}

void TSpinEdit::UpdateRange()
{
    if (minValue_ == maxValue_)
        setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    else
        setRange(std::min(minValue_, maxValue_), std::max(minValue_, maxValue_));
}

int TSpinEdit::Value() const
{
    bool ok = false;
    const int value = lineEdit()->text().trimmed().toInt(&ok);
    return ok ? value : minValue_;
}

void TSpinEdit::SetValue(int value)
{
    const int clamped = Clamp(value);
    QSpinBox::setValue(clamped);
    // QSpinBox keeps an unchanged value's old text; the text is what counts here.
    lineEdit()->setText(QString::number(clamped));
}

void TSpinEdit::setMinValue(int value)
{
    minValue_ = value;
    UpdateRange();
}

void TSpinEdit::setMaxValue(int value)
{
    maxValue_ = value;
    UpdateRange();
}

namespace {

// A typed integer, sign allowed, held as a long long so a text beyond int still clamps.
std::optional<qlonglong> TypedInteger(const QString& text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<qlonglong>(value) : std::nullopt;
}

} // namespace

QValidator::State TSpinEdit::validate(QString& input, int& pos) const
{
    Q_UNUSED(pos);
    const QString text = input.trimmed();
    if (text.isEmpty() || text == QLatin1String("-") || text == QLatin1String("+"))
        return QValidator::Intermediate;
    const bool digitsOnly = std::all_of(text.begin() + (text[0] == '-' || text[0] == '+' ? 1 : 0), text.end(),
                                        [](QChar c) { return c >= '0' && c <= '9'; });
    if (!digitsOnly)
        return QValidator::Invalid;
    // Only a number too long even for a long long is refused.
    return TypedInteger(text) ? QValidator::Acceptable : QValidator::Invalid;
}

int TSpinEdit::valueFromText(const QString& text) const
{
    const std::optional<qlonglong> value = TypedInteger(text);
    if (!value)
        return minValue_;
    return static_cast<int>(std::clamp<qlonglong>(*value, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

void TSpinEdit::fixup(QString& input) const
{
    bool ok = false;
    const int value = input.trimmed().toInt(&ok);
    input = QString::number(Clamp(ok ? value : minValue_));
}

} // namespace morvane
