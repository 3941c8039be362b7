#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// The window's alert: a title, the whole message and its buttons. The message wraps inside the
// box at any length, a long path included, and is shown as plain text, never as markup. It is
// window-modal and never blocks the caller.
class AlertDialog : public QDialog {
    Q_OBJECT

public:
    AlertDialog(const QString& title, QWidget* parent);

    void setMessage(const QString& message);
    QString message() const;
    // Replaces the buttons: the first is the default; a button in the reject role closes the
    // alert as a dismissal.
    QPushButton* addButton(const QString& text, QDialog::DialogCode role);
    void clearButtons();
    QList<QPushButton*> buttons() const { return buttons_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitMessage();

    QPlainTextEdit* message_;
    QWidget* buttonRow_;
    QList<QPushButton*> buttons_;
};
