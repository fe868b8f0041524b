#include "ui/ModalKeyboard.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

class ModalKeyboard : public QObject
{
public:
    explicit ModalKeyboard(QObject *parent)
        : QObject(parent)
    {
        qApp->installEventFilter(this);
        connect(qApp, &QGuiApplication::focusWindowChanged, this, &ModalKeyboard::reclaim);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            if (widget->isWindow() && widget->isModal()) {
                // Once it is mapped: the window system activates only a window it shows.
                QTimer::singleShot(0, widget, [widget] {
                    if (widget->isVisible() && !widget->isActiveWindow())
                        widget->activateWindow();
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // The focus went to a window the dialog blocks: keys sent there would be lost.
    static void reclaim(QWindow *focused)
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!focused || !dialog || !dialog->isVisible() || focused->type() == Qt::Popup)
            return;
        QWindow *own = dialog->windowHandle();
        for (QWindow *window = focused; window; window = window->transientParent()) {
            if (window == own)
                return;
        }
        dialog->activateWindow();
    }
};

} // namespace

void keepKeyboardOnDialogs()
{
    static QPointer<ModalKeyboard> keeper;
    if (!keeper)
        keeper = new ModalKeyboard(qApp);
}
