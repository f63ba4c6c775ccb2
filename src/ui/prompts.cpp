#include "ui/prompts.h"

#include <QDialog>
#include <QPushButton>

#include <utility>

namespace kestu::ui {

namespace {
MessageFunction& messageFunction()
{
    static MessageFunction function;
    return function;
}

ModalFunction& modalFunction()
{
    static ModalFunction function;
    return function;
}

// The lowest-valued standard button is the one listed first in the dialog.
QMessageBox::StandardButton FirstButton(QMessageBox::StandardButtons buttons)
{
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
            return static_cast<QMessageBox::StandardButton>(bit);
    return QMessageBox::NoButton;
}
}  // namespace

MessageFunction SetMessageFunction(MessageFunction function)
{
    return std::exchange(messageFunction(), std::move(function));
}

ModalFunction SetModalFunction(ModalFunction function)
{
    return std::exchange(modalFunction(), std::move(function));
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons)
{
    if (messageFunction()) return messageFunction()(icon, title, text, buttons);
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(FirstButton(buttons));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

int RunModal(QDialog& dialog)
{
    if (modalFunction()) return modalFunction()(dialog);
    return dialog.exec();
}

}  // namespace kestu::ui
