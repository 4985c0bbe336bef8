// Shows the window, offscreen unless a display is there, runs a cycle from it as an
// operator would (forced disconnection unchecked) and saves a picture of it taken
// while the restore runs: the status panel on the restore with the progress bar
// beside it. Used by scripts/screenshot.sh, on a database whose restore lasts long
// enough for the bar to be well on its way.
//
// window_screenshot OUTPUT.png PROGRAM-FILE [PARAMETERS...]
// PROGRAM-FILE stands for the program's own path: its folder is where the window
// looks for its connection profile, job settings and AppLogger.xml.

#include "core/MessagePump.h"
#include "global/Global_Utils.h"
#include "logger/uApplicationLogger.h"
#include "window/Morvane_01.h"
#include "window/OperatorDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png PROGRAM-FILE [PARAMETERS...]\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    morvane::SetCommandLine(std::vector<std::string>(argv + 2, argv + argc));
    morvane::ChooseHeadlessPlatformIfNeeded();
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    morvane::InstallOperatorDialogs();
    morvane::SetMessagePump([] { QCoreApplication::processEvents(); });

    bool saved = false;
    int exitCode = -1;
    {
        morvane::TFormMorvane form;
        form.show();
        auto* panel = form.findChild<QLabel*>("PanelOperation");
        auto* bar = form.findChild<QProgressBar*>("ProgressOperation");
        auto* start = form.findChild<QPushButton*>("btnBackupRestore");
        auto* forced = form.findChild<QCheckBox*>("cbForceDeconnexion");
        if (panel == nullptr || bar == nullptr || start == nullptr || forced == nullptr) {
            std::fprintf(stderr, "the window has no status panel, progress bar, cycle button or disconnection box\n");
            return 1;
        }
        // The restore paints the window after each line it reads: the watch runs then,
        // and takes the picture once the bar is past a third, with a second or more
        // elapsed and the time left estimated.
        QTimer watch;
        watch.setInterval(20);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (saved || !panel->text().startsWith(QStringLiteral("Début restore")))
                return;
            const QString times = bar->format();
            if (bar->value() * 3 < bar->maximum() || bar->value() == bar->maximum() ||
                times.contains(QStringLiteral(" - 0 s")) || !times.contains(QStringLiteral("reste")) ||
                times.contains(QStringLiteral("reste ?")))
                return;
            saved = form.grab().save(output, "PNG");
            watch.stop();
        });
        QTimer::singleShot(500, &form, [&] {
            forced->setChecked(false);
            watch.start();
            // The whole cycle runs inside the click, as when an operator starts it.
            start->click();
            exitCode = form.CycleExitCode();
            QCoreApplication::quit();
        });
        QApplication::exec();
    }
    morvane::SetMessagePump({});
    morvane::DestroyAppLogger();
    if (exitCode != 0)
        std::fprintf(stderr, "the cycle ended with status %d\n", exitCode);
    if (!saved)
        std::fprintf(stderr,
                     "no picture saved in %s: the restore ended before the bar was past a third with its times "
                     "shown\n",
                     argv[1]);
    return saved ? 0 : 1;
}
