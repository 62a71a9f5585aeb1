#pragma once
// The drive, folder and file lists on the left of the window. Each exposes
// the few properties the window works with (the chosen drive, Path, the
// selected file name) and a signal for its change.

#include <QComboBox>
#include <QListWidget>
#include <QStringList>

namespace keyloom {

// Mouse buttons as the handlers take them: 1 left, 2 right, 4 middle, or'ed
// together for the buttons held during a move.
int buttonCode(Qt::MouseButtons buttons);

// Roots of the mounted file systems, in place of drive letters.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);
    QString drive() const { return currentText(); }
    // Chooses the entry `root`; false (nothing changes) when there is none.
    bool setDrive(const QString& root);
    QStringList drives() const;

signals:
    void driveChanged();
};

// The folders from the root down to Path, then Path's subfolders; activating
// an entry (double-click, Enter) makes it Path.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);
    QString path() const { return path_; }
    // Moves to `path`; false (nothing changes) when it is no readable folder.
    bool setPath(const QString& path);

signals:
    void pathChanged();

private:
    void fill();
    QString path_;
};

// A file's entry: where the list shows its name only in part, the whole
// name leads the list's own tooltip and is the accessible description.
class FileItem : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    QVariant data(int role) const override;
};

// The files of one folder that match the pattern, sorted by name without
// regard to letter case, hidden files left out.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);
    QString path() const { return path_; }
    // Shows the files of `path`; false (nothing changes) when it is no
    // readable folder.
    bool setPath(const QString& path);
    QString pattern() const { return patterns_.join(';'); }
    void setPattern(const QString& pattern);
    // The selected file's name; "" when none is selected.
    QString fileName() const;
    // Re-reads the folder, keeping the selection where the name still exists.
    void refresh();

signals:
    // The selection changed (by the user or by the program).
    void fileClicked();
    void fileDoubleClicked();
    // A mouse button went down: 1 left, 2 right, 4 middle.
    void mouseDown(int button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString path_;
    QStringList patterns_;
};

}  // namespace keyloom
