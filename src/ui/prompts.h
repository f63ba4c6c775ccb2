#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace kestu::ui {

// Every message box and every modal dialog of the windows goes through these
// two functions, so a test can answer them without a nested event loop.

using MessageFunction = std::function<QMessageBox::StandardButton(
    QMessageBox::Icon icon, const QString& title, const QString& text, QMessageBox::StandardButtons buttons)>;
using ModalFunction = std::function<int(QDialog& dialog)>;

// Installs a replacement for the real message box; an empty function restores it.
// Returns the function that was installed before.
MessageFunction SetMessageFunction(MessageFunction function);
// Installs a replacement for QDialog::exec; an empty function restores it.
ModalFunction SetModalFunction(ModalFunction function);

// Shows a message and returns the button pressed. The first of `buttons` is the default.
QMessageBox::StandardButton ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Runs a dialog modally and returns its result code.
int RunModal(QDialog& dialog);

}  // namespace kestu::ui
