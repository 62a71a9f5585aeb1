#pragma once
// Yes/No questions, with a seam so that tests answer them without a dialog.

#include <QString>

class QWidget;

namespace keyloom::MessageBox {

constexpr int Yes = 6;
constexpr int No = 7;

// Asks `text` in a modal box with Yes and No, the question icon and Yes as
// the default button; returns Yes or No.
int ask(QWidget* parent, const QString& caption, const QString& text);

// Tells `text` in a modal box with an OK button and the information icon.
void inform(QWidget* parent, const QString& caption, const QString& text);

// Tells `text` in a modal box with an OK button and the warning icon: what
// was asked for did not happen.
void warn(QWidget* parent, const QString& caption, const QString& text);

// The next question is answered with `answer` at once, without a dialog.
void setNextAnswer(int answer);
// The text of the last question or information shown (for tests).
QString lastQuestion();

}  // namespace keyloom::MessageBox
