#pragma once
// A radio button that unchecks its sibling radio buttons when it is checked, while
// the program may still leave all of them unchecked (Qt's own exclusivity would
// refuse that). A click checks it and never unchecks it.

#include <QRadioButton>

namespace morvane {

class TRadioButton : public QRadioButton {
    Q_OBJECT

public:
    explicit TRadioButton(QWidget* parent = nullptr);

protected:
    void nextCheckState() override;

private:
    void UncheckSiblings();
};

} // namespace morvane
