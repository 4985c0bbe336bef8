// Shows the window as the program starts it, offscreen unless a display is there,
// and saves a picture of it. Used by scripts/screenshot.sh.
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
#include <QPixmap>
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
    {
        morvane::TFormMorvane form;
        form.show();
        QTimer::singleShot(500, &form, [&] {
            saved = form.grab().save(output, "PNG");
            QCoreApplication::quit();
        });
        QApplication::exec();
    }
    morvane::SetMessagePump({});
    morvane::DestroyAppLogger();
    if (!saved)
        std::fprintf(stderr, "could not save %s\n", argv[1]);
    return saved ? 0 : 1;
}
