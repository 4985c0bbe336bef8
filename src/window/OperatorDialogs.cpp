#include "window/OperatorDialogs.h"

#include "session/ProgramLog.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>

namespace morvane {

DialogAnswer TQtOperatorDialogs::Show(const DialogRequest& request)
{
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(request.title));
    box.setText(QString::fromStdString(request.text));
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* ok = nullptr;
    switch (request.kind) {
    case DialogKind::Error:
        box.setIcon(QMessageBox::Critical);
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case DialogKind::Information:
        box.setIcon(QMessageBox::Information);
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        break;
    case DialogKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        yes = box.addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&Non"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        break;
    }
    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr)
        return DialogAnswer::Closed;
    if (clicked == yes)
        return DialogAnswer::Yes;
    if (clicked == no)
        return DialogAnswer::No;
    if (clicked == ok)
        return DialogAnswer::Ok;
    return DialogAnswer::Closed;
}

bool RunningWithoutDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void ChooseHeadlessPlatformIfNeeded()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void InstallOperatorDialogs()
{
    if (RunningWithoutDisplay())
        SetOperatorDialogs(std::make_shared<THeadlessOperatorDialogs>(
            [](const std::string& line) { ProgramLogQuietly(line, 1); }));
    else
        SetOperatorDialogs(std::make_shared<TQtOperatorDialogs>());
}

} // namespace morvane
