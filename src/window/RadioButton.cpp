#include "window/RadioButton.h"

namespace morvane {

TRadioButton::TRadioButton(QWidget* parent) : QRadioButton(parent)
{
    setAutoExclusive(false);
    connect(this, &QAbstractButton::toggled, this, [this](bool checked) {
        if (checked)
            UncheckSiblings();
    });
}

void TRadioButton::nextCheckState() { setChecked(true); }

void TRadioButton::UncheckSiblings()
{
    if (parentWidget() == nullptr)
        return;
    for (TRadioButton* sibling : parentWidget()->findChildren<TRadioButton*>(Qt::FindDirectChildrenOnly))
        if (sibling != this)
            sibling->setChecked(false);
}

} // namespace morvane
