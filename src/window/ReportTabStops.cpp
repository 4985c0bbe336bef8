#include "window/ReportTabStops.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPlainTextEdit>

namespace morvane {

namespace {

void SetTerminalTabStops(QPlainTextEdit* box)
{
    box->setTabStopDistance(QFontMetricsF(box->font()).horizontalAdvance(QLatin1Char(' ')) * 8);
}

// Owned by the box it watches, so it goes with it.
class TabStopKeeper : public QObject {
public:
    explicit TabStopKeeper(QPlainTextEdit* box) : QObject(box), box_(box) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == box_ && event->type() == QEvent::FontChange)
            SetTerminalTabStops(box_);
        return false;
    }

private:
    QPlainTextEdit* box_;
};

} // namespace

void KeepTerminalTabStops(QPlainTextEdit* box)
{
    SetTerminalTabStops(box);
    box->installEventFilter(new TabStopKeeper(box));
}

} // namespace morvane
