#include "ui/navigation.h"

#include "platform/drives.h"
#include "ui/wholetext.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMouseEvent>
#include <QRegularExpression>

namespace keyloom {

namespace {

constexpr int kPathRole = Qt::UserRole;

bool isReadableFolder(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isDir() && info.isReadable() && info.isExecutable();
}

// The folder `path` names, found without regard to letter case where it does
// not exist as written: paths reach the lists in the proper-case form that
// file systems without case distinction accept. "" when there is none, or
// more than one.
QString findFolder(const QString& path)
{
    if (isReadableFolder(path) || !QDir::isAbsolutePath(path))
        return path;
    QDir dir = QDir::root();
    const QStringList parts = QDir::cleanPath(path).split('/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (!dir.exists(part)) {
            const QStringList same = dir.entryList({}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)
                                         .filter(QRegularExpression('^' + QRegularExpression::escape(part) + '$',
                                                                    QRegularExpression::CaseInsensitiveOption));
            if (same.size() != 1)
                return {};
            if (!dir.cd(same.first()))
                return {};
        } else if (!dir.cd(part)) {
            return {};
        }
    }
    return dir.absolutePath();
}

}  // namespace

int buttonCode(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

DriveList::DriveList(QWidget* parent) : QComboBox(parent)
{
    addItems(mountedRoots());
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::driveChanged);
}

bool DriveList::setDrive(const QString& root)
{
    const int index = findText(root, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    setCurrentIndex(index);
    return true;
}

QStringList DriveList::drives() const
{
    QStringList list;
    for (int i = 0; i < count(); ++i)
        list << itemText(i);
    return list;
}

FolderList::FolderList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setPath(item->data(kPathRole).toString()); });
}

bool FolderList::setPath(const QString& path)
{
    const QString folder = findFolder(path);
    if (!isReadableFolder(folder))
        return false;
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (clean == path_)
        return true;
    path_ = clean;
    fill();
    emit pathChanged();
    return true;
}

void FolderList::fill()
{
    clear();
    const QIcon open = QFileIconProvider().icon(QFileIconProvider::Folder);
    QStringList chain;
    for (QDir dir(path_);;) {
        chain.prepend(dir.absolutePath());
        if (!dir.cdUp())
            break;
    }
    int depth = 0;
    QListWidgetItem* current = nullptr;
    for (const QString& folder : chain) {
        const QString name = depth == 0 ? folder : QFileInfo(folder).fileName();
        auto* item = new QListWidgetItem(open, QString(depth * 2, ' ') + name, this);
        item->setData(kPathRole, folder);
        current = item;
        ++depth;
    }
    const QStringList subfolders =
        QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subfolders) {
        auto* item = new QListWidgetItem(open, QString(depth * 2, ' ') + name, this);
        item->setData(kPathRole, QDir(path_).filePath(name));
    }
    setCurrentItem(current);
}

FileList::FileList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A click moves the current row before it selects; the file is known
    // only once the selection follows.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!fileName().isEmpty())
            emit fileClicked();
    });
}

void FileList::setPattern(const QString& pattern)
{
    patterns_ = pattern.split(';', Qt::SkipEmptyParts);
    refresh();
}

bool FileList::setPath(const QString& path)
{
    const QString folder = findFolder(path);
    if (!isReadableFolder(folder))
        return false;
    path_ = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    clear();
    const QStringList names = QDir(path_).entryList(patterns_, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names)
        addItem(new FileItem(name));
    return true;
}

void FileList::refresh()
{
    if (path_.isEmpty())
        return;
    const QString selected = fileName();
    blockSignals(true);
    setPath(path_);
    const auto found = findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!selected.isEmpty() && !found.isEmpty())
        setCurrentItem(found.first());
    blockSignals(false);
}

QString FileList::fileName() const
{
    const QListWidgetItem* item = currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

QVariant FileItem::data(int role) const
{
    if (role != Qt::ToolTipRole && role != Qt::AccessibleDescriptionRole)
        return QListWidgetItem::data(role);
    const QListWidget* list = listWidget();
    const QString whole = list ? cutRowText(*list, list->model()->index(list->row(this), 0)) : QString();
    if (whole.isEmpty())
        return QListWidgetItem::data(role);
    return role == Qt::ToolTipRole ? wholeTextToolTip(whole, list->toolTip()) : whole;
}

void FileList::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown(buttonCode(event->button()));
    // The popup commands act on the selected file, so a right-click must
    // not move the selection.
    if (event->button() != Qt::RightButton)
        QListWidget::mousePressEvent(event);
}

void FileList::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint()))
        emit fileDoubleClicked();
}

}  // namespace keyloom
