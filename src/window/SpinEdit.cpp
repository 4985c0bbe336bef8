#include "window/SpinEdit.h"

#include <QLineEdit>

#include <algorithm>
#include <limits>

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

void TSpinEdit::fixup(QString& input) const
{
    bool ok = false;
    const int value = input.trimmed().toInt(&ok);
    input = QString::number(Clamp(ok ? value : minValue_));
}

} // namespace morvane
