#include "ui/StepProgressBar.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

// Qt's own interface for a progress bar, but for the description.
class StepProgressAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit StepProgressAccessible(StepProgressBar *bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description)
            return bar()->description();
        if (t == QAccessible::Value)
            return bar()->text();
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return bar()->value(); }
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 0; }
    void setCurrentValue(const QVariant &) override {}

private:
    StepProgressBar *bar() const { return static_cast<StepProgressBar *>(widget()); }
};

QAccessibleInterface *stepProgressInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("StepProgressBar"))
        return new StepProgressAccessible(static_cast<StepProgressBar *>(object));
    return nullptr;
}

} // namespace

StepProgressBar::StepProgressBar()
{
    static const bool factoryInstalled = (QAccessible::installFactory(stepProgressInterface), true);
    Q_UNUSED(factoryInstalled)
    // The step's line above says the percentage, as "46 %"; a second figure
    // beside the bar would only differ from it. A reader gets it as the value.
    setTextVisible(false);
    setFormat(QStringLiteral("%p %"));
}

void StepProgressBar::describeWith(std::function<QString()> describe)
{
    this->describe = std::move(describe);
}

QString StepProgressBar::description() const
{
    return describe ? describe() : QString();
}
