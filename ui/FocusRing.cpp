#include "ui/FocusRing.h"

#include <QApplication>
#include <QFocusFrame>
#include <QPointer>

namespace {

// One frame follows the focus from widget to widget; it lives among the
// focused widget's siblings, so it goes with their window and is made anew.
class FocusRing : public QObject
{
public:
    explicit FocusRing(QObject *parent)
        : QObject(parent)
    {
        connect(qApp, &QApplication::focusChanged, this, &FocusRing::follow);
        follow(nullptr, QApplication::focusWidget());
    }

private:
    void follow(QWidget *, QWidget *now)
    {
        if (!now || now->isWindow()) {
            if (frame)
                frame->setWidget(nullptr);
            return;
        }
        if (!frame)
            frame = new QFocusFrame(now->parentWidget());
        frame->setWidget(now);
    }

    QPointer<QFocusFrame> frame;
};

} // namespace

void showFocusAlways()
{
    static QPointer<FocusRing> ring;
    if (!ring)
        ring = new FocusRing(qApp);
}
