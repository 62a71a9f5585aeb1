#include "ui/finddialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace keyloom {

FindDialog::FindDialog(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(QStringLiteral("Suchen"));
    setModal(false);

    auto* label = new QLabel(QStringLiteral("Suchen nach:"), this);
    textBox = new QLineEdit(this);
    label->setBuddy(textBox);
    sectionsBox = new QCheckBox(QStringLiteral("Abschnitte"), this);
    keysBox = new QCheckBox(QStringLiteral("Schlüssel"), this);
    valuesBox = new QCheckBox(QStringLiteral("Werte"), this);
    caseBox = new QCheckBox(QStringLiteral("Groß-/Kleinschreibung beachten"), this);
    for (QCheckBox* box : {sectionsBox, keysBox, valuesBox})
        box->setChecked(true);
    findButton = new QPushButton(QStringLiteral("Weitersuchen"), this);
    findButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Abbrechen"), this);
    noteLabel = new QLabel(this);
    noteLabel->setObjectName(QStringLiteral("noteLabel"));

    auto* line = new QHBoxLayout;
    line->addWidget(label);
    line->addWidget(textBox, 1);
    auto* settings = new QVBoxLayout;
    settings->addLayout(line);
    for (QCheckBox* box : {sectionsBox, keysBox, valuesBox, caseBox})
        settings->addWidget(box);
    settings->addWidget(noteLabel);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    auto* all = new QHBoxLayout(this);
    all->addLayout(settings, 1);
    all->addLayout(buttons);
    textBox->setMinimumWidth(240);

    connect(findButton, &QPushButton::clicked, this, [this] { emit findRequested(query()); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(textBox, &QLineEdit::textChanged, this, &FindDialog::updateFindButton);
    for (QCheckBox* box : {sectionsBox, keysBox, valuesBox})
        connect(box, &QCheckBox::toggled, this, &FindDialog::updateFindButton);
    updateFindButton();
}

FindQuery FindDialog::query() const
{
    return {textBox->text(), sectionsBox->isChecked(), keysBox->isChecked(), valuesBox->isChecked(),
            caseBox->isChecked()};
}

void FindDialog::updateFindButton()
{
    const FindQuery q = query();
    findButton->setEnabled(!q.text.isEmpty() && (q.sections || q.keys || q.values));
}

}  // namespace keyloom
