#include "ui/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

#include <utility>

// One line said to a screen reader; its class name gives it its role.
class Announcement : public QWidget
{
    Q_OBJECT

public:
    explicit Announcement(QWidget *parent)
        : QWidget(parent)
    {
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(0, 0, 0, 0);
    }
};

namespace {

QAccessibleInterface *alertInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("Announcement"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

Announcer::Announcer(QWidget *parent)
    : QObject(parent)
    , widget(parent)
{
    static const bool factoryInstalled = (QAccessible::installFactory(alertInterface), true);
    Q_UNUSED(factoryInstalled)
}

void Announcer::announce(const QString &line, Urgency urgency)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(widget, line);
    event.setPoliteness(urgency == Urgency::Polite ? QAccessible::AnnouncementPoliteness::Polite
                                                   : QAccessible::AnnouncementPoliteness::Assertive);
    QAccessible::updateAccessibility(&event);
#else
    Q_UNUSED(urgency)
    // Qt hands a new object the bus path of the last one made if that one has
    // gone (the busy dialog, just closed), and a reader that knew that path
    // keeps its role: the line would be read as a dialog. A stand-in takes
    // that path while the alert is made.
    QWidget standIn;
    QAccessible::queryAccessibleInterface(&standIn);
    auto *alert = new Announcement(widget);
    alerts << alert;
    // Named once it exists for a reader, so that a reader hears the change.
    QAccessible::queryAccessibleInterface(alert);
    alert->setAccessibleName(line);
    alert->show();
    QAccessibleEvent event(alert, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
#endif
}

void Announcer::clear()
{
    for (const QPointer<QWidget> &alert : std::as_const(alerts))
        delete alert.data();
    alerts.clear();
}

#include "Announcer.moc"
