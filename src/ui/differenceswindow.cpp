#include "ui/differenceswindow.h"

#include "app/commands.h"

#include <QAbstractTableModel>
#include <QFileDialog>
#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

namespace keyloom {

namespace {

// The differences as rows, decoded only when a view asks.
class DifferenceModel : public QAbstractTableModel {
public:
    DifferenceModel(const QString& a, const QString& b, const std::vector<Difference>& differences, QObject* parent)
        : QAbstractTableModel(parent),
          differences_(differences), headers_{QStringLiteral("Abschnitt"), QStringLiteral("Schlüssel"),
                                              Commands::FileNamePart(a), Commands::FileNamePart(b)}
    {}
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(differences_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
            return headers_[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return {};
        const Difference& d = differences_.at(std::size_t(index.row()));
        switch (index.column()) {
        case 0:
            return d.section;
        case 1:
            return d.key.value_or(QString());
        case 2:
            return side(d, d.oldValue, ChangeKind::Removed);
        default:
            return side(d, d.newValue, ChangeKind::Added);
        }
    }

private:
    // What one file holds: the value, or that the key or section is missing
    // or there as a whole.
    static QString side(const Difference& d, const std::optional<QString>& value, ChangeKind only)
    {
        if (!d.key)
            return d.change == only ? QStringLiteral("(ganzer Abschnitt)") : QStringLiteral("(fehlt)");
        return value.value_or(QStringLiteral("(fehlt)"));
    }

    const std::vector<Difference>& differences_;
    QString headers_[4];
};

}  // namespace

DifferencesWindow::DifferencesWindow(const QString& a, const QString& b, std::vector<Difference> differences,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), a_(a), b_(b), differences_(std::move(differences))
{
    setObjectName(QStringLiteral("Unterschiede"));
    setWindowTitle(QStringLiteral("Unterschiede"));
    setAttribute(Qt::WA_DeleteOnClose);
    table = new QTableView(this);
    table->setObjectName(QStringLiteral("table"));
    table->setModel(new DifferenceModel(a, b, differences_, table));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    // Key paths are long; their ends tell them apart.
    table->setTextElideMode(Qt::ElideMiddle);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < 3; ++column)
        table->setColumnWidth(column, column == 0 ? 260 : 160);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table);
    resize(820, 360);
    connect(table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { choose(index.row()); });
}

void DifferencesWindow::choose(int row)
{
    if (row < 0 || std::size_t(row) >= differences_.size())
        return;
    const Difference& d = differences_[std::size_t(row)];
    const bool onlyInB = !d.key && d.change == ChangeKind::Added;
    const bool keyInA = d.key && d.change != ChangeKind::Added;
    emit rowChosen(onlyInB ? b_ : a_, d.sectionBytes, keyInA ? d.keyBytes : std::string());
}

SecondFileChooser& secondFileChooser()
{
    static SecondFileChooser chooser = [](QWidget* parent, const QString& folder) {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("vergleichen mit"), folder,
                                            QStringLiteral("Konfigurationsdateien (*.ini *.reg *.inf);;"
                                                           "Alle Dateien (*)"));
    };
    return chooser;
}

}  // namespace keyloom
