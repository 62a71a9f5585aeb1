#pragma once
// The window "Unterschiede": what a comparison of two files found, one row a
// difference, with the columns Abschnitt, Schlüssel and the two file names.
// It stays open beside the main window; a double-click on a row asks the
// main window to show that section and key.

#include "document/compare.h"

#include <QWidget>
#include <functional>
#include <string>

class QTableView;

namespace keyloom {

class DifferencesWindow : public QWidget {
    Q_OBJECT
public:
    DifferencesWindow(const QString& a, const QString& b, std::vector<Difference> differences,
                      QWidget* parent = nullptr);

    QTableView* table = nullptr;

signals:
    // A row was double-clicked: the file it belongs to (A, unless only B has
    // the section) and the raw names of its section and key ("" for none).
    void rowChosen(const QString& file, const std::string& section, const std::string& key);

private:
    void choose(int row);

    QString a_;
    QString b_;
    std::vector<Difference> differences_;
};

// Asks for the file to compare `first` with, starting in `folder`; "" when
// the user cancels. Tests replace it, so that no dialog blocks them.
using SecondFileChooser = std::function<QString(QWidget* parent, const QString& folder)>;
SecondFileChooser& secondFileChooser();

}  // namespace keyloom
