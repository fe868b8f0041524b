#include "ui/FocusRing.h"

#include "ui/ModalKeyboard.h"

#include <QApplication>
#include <QFocusFrame>
#include <QPointer>
#include <QProxyStyle>
#include <QWindow>

namespace {

// Styles other than the Mac's put a focus frame beneath its control, among
// the control's siblings: a button at the edge of a button box then shows
// only the side that faces a neighbour. Above, in the window, it is whole.
class RingStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_FocusFrame_AboveWidget)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A window behind a modal dialog keeps its focus widget, but takes no keys.
bool blockedByDialog(const QWidget *widget)
{
    const QWidget *dialog = QApplication::activeModalWidget();
    return dialog && dialog->isVisible() && widget->window() != dialog;
}

// One frame follows the focus from widget to widget; it lives in the focused
// widget's window, so it goes with that window and is made anew.
class FocusRing : public QObject
{
public:
    explicit FocusRing(QObject *parent)
        : QObject(parent)
        , style(new RingStyle)
    {
        style->setParent(this);
        connect(qApp, &QApplication::focusChanged, this, &FocusRing::follow);
        connect(qApp, &QGuiApplication::focusWindowChanged, this,
                [this] { follow(nullptr, QApplication::focusWidget()); });
        follow(nullptr, QApplication::focusWidget());
    }

private:
    void follow(QWidget *, QWidget *now)
    {
        if (!now || now->isWindow() || blockedByDialog(now)) {
            if (frame)
                frame->setWidget(nullptr);
            return;
        }
        if (!frame) {
            frame = new QFocusFrame(now->window());
            frame->setStyle(style);
        }
        frame->setWidget(now);
    }

    QStyle *style;
    QPointer<QFocusFrame> frame;
};

} // namespace

void showFocusAlways()
{
    static QPointer<FocusRing> ring;
    if (!ring) {
        ring = new FocusRing(qApp);
        keepKeyboardOnDialogs();
    }
}
