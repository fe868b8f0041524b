#include "ui/DeviceSelectorDialog.h"

#include "catalogue/Catalogue.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

// No minimise or help button: the main window waits behind it.
DeviceSelectorDialog::DeviceSelectorDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Device Select"));

    // Enter and Space press only the button with the focus, which starts on
    // Cancel: the instrument gets the boot image of whichever model is
    // chosen, so no stray key may choose one.
    auto *buttonLayout = new QHBoxLayout;
    for (DeviceType type : knownModels()) {
        auto *button = new QPushButton(deviceTypeName(type));
        button->setAutoDefault(true);
        button->setAccessibleName(button->text());
        buttonLayout->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, type] {
            selectedType = type;
            accept();
        });
    }
    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"));
    cancelButton->setAutoDefault(true);
    cancelButton->setAccessibleName(cancelButton->text());
    buttonLayout->addWidget(cancelButton);

    auto *label = new QLabel(
        QStringLiteral("Unable to open device. If the device is not connected to the PC, please connect "
                       "the device and restart this application. If you want to bootstrap your device, "
                       "please select your device type below."));
    label->setWordWrap(true);

    auto *mainLayout = new QVBoxLayout;
    mainLayout->addWidget(label);
    mainLayout->addLayout(buttonLayout);
    setLayout(mainLayout);

    cancelButton->setFocus();
    // A reader hears the question with the dialog.
    setAccessibleDescription(label->text());
    connect(cancelButton, &QPushButton::clicked, this, &DeviceSelectorDialog::cancelPressed);
}

void DeviceSelectorDialog::cancelPressed()
{
    cancelled = true;
    accept();
}

void DeviceSelectorDialog::reject()
{
    cancelled = true;
    QDialog::reject();
}
