// The window tests run on Qt's offscreen platform, with the window's message pump
// installed as the program installs it.

#include "core/MessagePump.h"
#include "logger/uApplicationLogger.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    morvane::SetMessagePump([] { QCoreApplication::processEvents(); });
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    morvane::SetMessagePump({});
    morvane::DestroyAppLogger();
    return result;
}
