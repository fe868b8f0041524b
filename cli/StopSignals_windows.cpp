#include "StopSignals.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <csignal>

#include <windows.h>

namespace {

std::atomic<StopSignals *> instance { nullptr };

// Runs on a thread the system starts for it, so it only hands the event to
// the application's thread, which looks for the instance there. Closing the
// console, logging off and shutting down end the process whatever the
// handler answers.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    const int number = event == CTRL_C_EVENT ? SIGINT : SIGBREAK;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [number] {
            if (StopSignals *stopSignals = instance.load())
                emit stopSignals->received(number);
        },
        Qt::QueuedConnection);
    return TRUE;
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    instance.store(this);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopSignals::~StopSignals()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    instance.store(nullptr);
}
