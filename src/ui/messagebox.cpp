#include "ui/messagebox.h"

#include <QMessageBox>

#include <optional>

namespace keyloom::MessageBox {

namespace {

std::optional<int> nextAnswer;
QString lastText;

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
    lastText = text;
    if (nextAnswer) {
        nextAnswer.reset();
        return;
    }
    QMessageBox::information(parent, caption, text);
}

void warn(QWidget* parent, const QString& caption, const QString& text)
{
    lastText = text;
    if (nextAnswer) {
        nextAnswer.reset();
        return;
    }
    QMessageBox::warning(parent, caption, text);
}

void setNextAnswer(int answer) { nextAnswer = answer; }

QString lastQuestion() { return lastText; }

}  // namespace keyloom::MessageBox
