#pragma once
// The editor's one window. Each handler reads its controls, calls one core
// function and writes the result back; the handlers set one another off
// through the controls' own signals, so a click runs the whole chain.

#include "document/find.h"
#include "edit/apply.h"
#include "layout/layout.h"
#include "ui/appmodul.h"

#include <QHash>
#include <QWidget>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QAction;
class QPushButton;

namespace keyloom {

class BoxToolTip;
class ByteListModel;
class CompareRunner;
struct Comparison;
class DriveList;
class FileList;
class FindDialog;
class FindRunner;
class FolderList;

// The hidden buffer for the REGEDIT4 text of a UTF-16 export: bytes only,
// never laid out or shown.
class TextBuffer : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    const std::string& bytes() const { return bytes_; }
    void setBytes(std::string bytes) { bytes_ = std::move(bytes); }

private:
    std::string bytes_;
};

// The bar between the section list and the key list.
class SplitterBar : public QWidget {
    Q_OBJECT
public:
    explicit SplitterBar(QWidget* parent = nullptr);

signals:
    void mouseDown(int button, float x);
    void mouseMove(int buttons, float x);
    void mouseUp(int button, float x);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(AppModul& app, QWidget* parent = nullptr);
    ~Form1() override;
    void setVisible(bool visible) override;

    AppModul& app() { return app_; }

    // The controls, under the names the handlers use.
    DriveList* Drive1 = nullptr;      // the drives (roots of the mounted file systems)
    FolderList* Dir1 = nullptr;       // the folders of the chosen drive
    FileList* File1 = nullptr;        // the INI, REG and INF files of the chosen folder
    QListView* List1 = nullptr;       // the sections of the current file
    QListView* List2 = nullptr;       // the keys of the chosen section
    QLineEdit* Text1 = nullptr;       // the value of the chosen key, where it is edited
    QPushButton* Command1 = nullptr;  // "Übernehmen": writes Text1 back into the file
    QLabel* Label1 = nullptr;         // the name of the chosen section
    TextBuffer* Text2 = nullptr;      // the REGEDIT4 text of a UTF-16 export, waiting to be written
    SplitterBar* Picture1 = nullptr;  // the bar that moves the border between List1 and List2
    QMenu* mnuPop = nullptr;          // the file list's popup menu
    QAction* mnuConvert = nullptr;    // "konvertieren in REGEDIT4"
    QAction* mnuSpace = nullptr;      // "SPACEs einfügen"
    QAction* mnuDel = nullptr;        // "Löschen !"

    // Public operations other handlers call on the window.
    void File1_Click();
    QString UnQuote(QString& text);
    QString EnQuote(QString& text);
    void GetBack();

    // Raw bytes of the selected entries.
    std::string list1Text() const;
    std::string list2Text() const;

    // Handlers.
    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void List1_Click();
    void List2_Click();
    void Text1_Change();
    void Command1_Click();
    void Form_Resize();
    void File1_MouseDown(int button);
    void File1_DblClick();
    void mnuConvert_Click();
    void mnuSpace_Click();
    void mnuDel_Click();
    void Picture1_MouseDown(int button, float x);
    void Picture1_MouseMove(int buttons, float x);
    void Picture1_MouseUp(int button, float x);

    // The panes' geometry in twips, as the layout keeps it.
    const layout::Panes& panes() const { return panes_; }

    // Finding text, beside the controls above: Ctrl+F opens the dialog, F3
    // searches again, Shift+F3 backwards; a match is selected through List1
    // and List2 as clicks would select it. Past the file's end a search goes
    // on from its start (backwards: from its end) and the dialog says so.
    FindDialog* findDialog = nullptr;
    void showFind();
    void findAgain();
    void findAgainBackward();

    // Comparing the file of the popup menu with a second one, beside the
    // specified entries: the result in the window "Unterschiede", whose
    // double-click shows a section and key here.
    QAction* mnuCompare = nullptr;  // "vergleichen mit..."
    void mnuCompare_Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void placeControls();
    void connectHandlers();
    layout::Window outerWindow() const;
    QString selectedFilePath() const;
    // Shows `message` in an information box; nothing for an empty one.
    void tell(const QString& message);
    // Shows `message` in a warning box: something asked for did not happen.
    void warn(const QString& message);
    // What the window does after an apply of `request` ended in `result`.
    void applied(const EditRequest& request, const EditResult& result);
    // Tells that the file changed since it was loaded, loads it anew and
    // shows the request's section, key and typed text again.
    void reloadAfterChange(const EditRequest& request, const EditResult& result);
    // Runs one layout step on the shared state and applies the panes.
    template <typename Step>
    void runLayout(Step step);
    void setBarColour(layout::BarColour colour);
    void applyPanes();

    QString decode(const std::string& bytes) const;
    std::string encode(const QString& text) const;

    void createFind();
    void startFind(const FindQuery& query, bool backward = false);
    void showFindResult(const FindResult& result);
    // The file and the rows of List1 and List2 as they stand.
    struct FindPlace {
        QString file;
        FindPosition rows;
        bool operator==(const FindPlace&) const = default;
    };
    FindPlace findPlace() const;

    void createCompare();
    void showComparison(const QString& a, const QString& b, const Comparison& result);
    void showDifference(const QString& file, const std::string& section, const std::string& key);

    AppModul& app_;
    ByteListModel* sections_ = nullptr;
    ByteListModel* keys_ = nullptr;
    BoxToolTip* valueTip_ = nullptr;  // Text1's tooltip
    std::string label1Bytes_;
    bool loaded_ = false;
    layout::Panes panes_;
    float dragStartX_ = 0;
    bool applying_ = false;
    QHash<QString, QString> driveFolders_;
    FindRunner* finder_ = nullptr;
    CompareRunner* comparer_ = nullptr;
    std::optional<FindQuery> lastQuery_;
    FindPlace findStart_;  // where the running search started
    bool findBackward_ = false;
    bool findWrapped_ = false;  // the running search went on past the file's end
    // What the last match selected and where it stood: after a section name
    // List1_Click selects the first key itself, and the next search goes on
    // from the name, so that this key is not passed over.
    std::optional<std::pair<FindPlace, FindPosition>> lastMatch_;
};

// Places `window` centred across the screen and at 42.5 % of its height.
void CenterForm(QWidget& window);

}  // namespace keyloom
