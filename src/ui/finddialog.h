#pragma once
// The find dialog beside the main window: what to look for and where. It
// only collects the settings and asks for a search; the window runs it. Its
// settings stay as the user left them for the rest of the session.

#include "document/find.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace keyloom {

class FindDialog : public QDialog {
    Q_OBJECT
public:
    // Non-modal, owned by `owner`, which it stays in front of.
    explicit FindDialog(QWidget* owner);

    FindQuery query() const;

    QLineEdit* textBox = nullptr;         // "Suchen nach:"
    QCheckBox* sectionsBox = nullptr;     // "Abschnitte"
    QCheckBox* keysBox = nullptr;         // "Schlüssel"
    QCheckBox* valuesBox = nullptr;       // "Werte"
    QCheckBox* caseBox = nullptr;         // "Groß-/Kleinschreibung beachten"
    QPushButton* findButton = nullptr;    // "Weitersuchen", the default button
    QPushButton* cancelButton = nullptr;  // "Abbrechen": closes the dialog
    QLabel* noteLabel = nullptr;          // how the last search went on, or empty

signals:
    void findRequested(const keyloom::FindQuery& query);

private:
    void updateFindButton();
};

}  // namespace keyloom
