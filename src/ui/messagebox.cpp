#include "ui/messagebox.h"

#include <QMessageBox>

#include <optional>

namespace keyloom::MessageBox {

namespace {

std::optional<int> nextAnswer;
QString lastText;

// An OK box with `icon`, or the answer set for the next box instead.
void show(QMessageBox::Icon icon, QWidget* parent, const QString& caption, const QString& text)
{
    lastText = text;
    if (nextAnswer) {
        nextAnswer.reset();
        return;
    }
    QMessageBox(icon, caption, text, QMessageBox::Ok, parent).exec();
}

}  // namespace

int ask(QWidget* parent, const QString& caption, const QString& text)
{
    lastText = text;
    if (nextAnswer) {
        const int answer = *nextAnswer;
        nextAnswer.reset();
        return answer;
    }
    const auto pressed =
        QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return pressed == QMessageBox::No ? No : Yes;
}

void inform(QWidget* parent, const QString& caption, const QString& text)
{
    show(QMessageBox::Information, parent, caption, text);
}

void warn(QWidget* parent, const QString& caption, const QString& text)
{
    show(QMessageBox::Warning, parent, caption, text);
}

void setNextAnswer(int answer) { nextAnswer = answer; }

QString lastQuestion() { return lastText; }

}  // namespace keyloom::MessageBox
