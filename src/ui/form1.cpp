#include "ui/form1.h"

#include "app/commands.h"
#include "document/document.h"
#include "edit/apply.h"
#include "filecommands/convert.h"
#include "filecommands/filecommands.h"
#include "filecommands/spacing.h"
#include "platform/drives.h"
#include "platform/editor.h"
#include "platform/wineserver.h"
#include "ui/bytelistmodel.h"
#include "ui/comparerunner.h"
#include "ui/differenceswindow.h"
#include "ui/finddialog.h"
#include "ui/findrunner.h"
#include "ui/messagebox.h"
#include "ui/navigation.h"
#include "ui/wholetext.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QValidator>

#include <cmath>
#include <limits>

// The icons are compiled into the static gui library, where nothing refers to
// their registration, so the linker would leave them out; this call keeps
// them. It has to be outside any namespace.
static void registerResources() { Q_INIT_RESOURCE(resources); }

namespace keyloom {

namespace {

constexpr int kTwipsPerPixel = 15;

int px(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

void place(QWidget* w, const layout::Box& box)
{
    w->setGeometry(px(box.left), px(box.top), px(box.width), px(box.height));
}

QFont fixedFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(9);
    return font;
}

QFont buttonFont()
{
    QFont font = QApplication::font();
    font.setPointSize(12);
    font.setBold(true);
    return font;
}

// Keeps line breaks out of the value box: a value with CR or LF would split
// its line into new keys when written.
class SingleLineValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override
    {
        input.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        pos = std::min<int>(pos, static_cast<int>(input.size()));
        return Acceptable;
    }
};

}  // namespace

SplitterBar::SplitterBar(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setCursor(Qt::SplitHCursor);
}

void SplitterBar::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown(buttonCode(event->button()), float(event->position().x() * kTwipsPerPixel));
}

void SplitterBar::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMove(buttonCode(event->buttons()), float(event->position().x() * kTwipsPerPixel));
}

void SplitterBar::mouseReleaseEvent(QMouseEvent* event)
{
    emit mouseUp(buttonCode(event->button()), float(event->position().x() * kTwipsPerPixel));
}

Form1::Form1(AppModul& app, QWidget* parent) : QWidget(parent), app_(app)
{
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("Quorrel Keyloom"));
    // Every rendered size, so that the window manager and high-DPI screens
    // pick a sharp one instead of scaling a small one up.
    registerResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    createControls();
    placeControls();
    connectHandlers();
    createFind();
    createCompare();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    // Like the lists of the platform, all three start in the current folder.
    const QString here = QDir::currentPath();
    Drive1 = new DriveList(this);
    Drive1->setDrive(rootOf(here, Drive1->drives()));
    Dir1 = new FolderList(this);
    Dir1->setPath(here);
    File1 = new FileList(this);
    File1->setPattern(QStringLiteral("*.ini;*.reg;*.inf"));
    File1->setPath(here);
    File1->setToolTip(QStringLiteral("Rechtsklick für Optionen"));

    sections_ = new ByteListModel(this);
    keys_ = new ByteListModel(this);
    List1 = new QListView(this);
    List2 = new QListView(this);
    for (auto [view, model] : {std::pair{List1, sections_}, std::pair{List2, keys_}}) {
        view->setModel(model);
        model->setView(view);
        view->setUniformItemSizes(true);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setFont(fixedFont());
    }

    Command1 = new QPushButton(QStringLiteral("Übernehmen"), this);
    Command1->setFont(buttonFont());
    Command1->setEnabled(false);
    Text1 = new QLineEdit(this);
    Text1->setFont(fixedFont());
    Text1->setValidator(new SingleLineValidator(Text1));
    // The default limit of 32767 characters would cut a long registry value
    // and an apply would write the cut text.
    Text1->setMaxLength(std::numeric_limits<int>::max());
    valueTip_ = new BoxToolTip(Text1);
    Label1 = new QLabel(this);
    Label1->setFont(fixedFont());
    Label1->setTextFormat(Qt::PlainText);
    Text2 = new TextBuffer(this);
    Text2->hide();
    Picture1 = new SplitterBar(this);

    mnuPop = new QMenu(QStringLiteral("PopupMenu"), this);
    mnuConvert = mnuPop->addAction(QStringLiteral("konvertieren in REGEDIT4"));
    mnuSpace = mnuPop->addAction(QStringLiteral("SPACEs einfügen"));
    mnuDel = mnuPop->addAction(QStringLiteral("Löschen !"));

    const std::pair<QObject*, const char*> names[] = {
        {Drive1, "Drive1"},     {Dir1, "Dir1"},         {File1, "File1"},       {List1, "List1"},
        {List2, "List2"},       {Text1, "Text1"},       {Command1, "Command1"}, {Label1, "Label1"},
        {Text2, "Text2"},       {Picture1, "Picture1"}, {mnuPop, "mnuPop"},     {mnuConvert, "mnuConvert"},
        {mnuSpace, "mnuSpace"}, {mnuDel, "mnuDel"}};
    for (const auto& [object, name] : names)
        object->setObjectName(QString::fromLatin1(name));

    Drive1->setAccessibleName(QStringLiteral("Laufwerk"));
    Dir1->setAccessibleName(QStringLiteral("Ordner"));
    File1->setAccessibleName(QStringLiteral("Dateien"));
    List1->setAccessibleName(QStringLiteral("Abschnitte"));
    List2->setAccessibleName(QStringLiteral("Schlüssel"));
    Text1->setAccessibleName(QStringLiteral("Wert"));
    Command1->setAccessibleName(QStringLiteral("Übernehmen"));
    Label1->setAccessibleName(QStringLiteral("Gewählter Abschnitt"));
    Picture1->setAccessibleName(QStringLiteral("Trennbalken"));
    // On Linux a combo box gives its current entry as its accessible name;
    // what it is for comes from a label whose buddy it is. The label stays
    // hidden, so the window looks as it did.
    auto* driveLabel = new QLabel(QStringLiteral("Laufwerk"), this);
    driveLabel->setObjectName(QStringLiteral("Drive1Label"));
    driveLabel->setBuddy(Drive1);
    driveLabel->hide();

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);
    setTabOrder(File1, List1);
    setTabOrder(List1, Command1);
    setTabOrder(Command1, Text1);
    setTabOrder(Text1, List2);
}

void Form1::placeControls()
{
    resize(px(7605), px(4680));
    panes_ = layout::initialPanes();
    applyPanes();
    // The hidden buffer lies outside the client area and never moves.
    place(Text2, {-1020, -180, 1095, 285});
}

void Form1::connectHandlers()
{
    connect(Drive1, &DriveList::driveChanged, this, &Form1::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &Form1::Dir1_Change);
    connect(File1, &FileList::fileClicked, this, &Form1::File1_Click);
    connect(List1->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (index.isValid())
            List1_Click();
    });
    connect(List2->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (index.isValid())
            List2_Click();
    });
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(File1, &FileList::mouseDown, this, &Form1::File1_MouseDown);
    connect(File1, &FileList::fileDoubleClicked, this, &Form1::File1_DblClick);
    connect(mnuConvert, &QAction::triggered, this, &Form1::mnuConvert_Click);
    connect(mnuSpace, &QAction::triggered, this, &Form1::mnuSpace_Click);
    connect(mnuDel, &QAction::triggered, this, &Form1::mnuDel_Click);
    connect(Picture1, &SplitterBar::mouseDown, this, &Form1::Picture1_MouseDown);
    connect(Picture1, &SplitterBar::mouseMove, this, &Form1::Picture1_MouseMove);
    connect(Picture1, &SplitterBar::mouseUp, this, &Form1::Picture1_MouseUp);
}

void Form1::setVisible(bool visible)
{
    // The load step runs once, before the window is first shown and so before
    // its first size change lays the panes out.
    if (visible && !loaded_) {
        loaded_ = true;
        Form_Load();
    }
    QWidget::setVisible(visible);
}

void Form1::Form_Load()
{
    CenterForm(*this);
    setWindowTitle(app_.AppTitle);
    setBarColour(layout::BarColour::ButtonFace);
    app_.SplitterLeft = layout::roundToInt16(panes_.Picture1.left).value_or(app_.SplitterLeft);
}

void Form1::setBarColour(layout::BarColour colour)
{
    QPalette palette = Picture1->palette();
    palette.setColor(QPalette::Window,
                     colour == layout::BarColour::Black ? QColor(Qt::black) : palette.color(QPalette::Button));
    Picture1->setPalette(palette);
}

layout::Window Form1::outerWindow() const
{
    // The frame is the platform's; where it reports none (offscreen), the
    // outer size is the client size.
    const QSize outer = frameGeometry().size();
    const auto state = isMinimized()   ? layout::WindowState::Minimized
                       : isMaximized() ? layout::WindowState::Maximized
                                       : layout::WindowState::Normal;
    return {float(outer.width() * kTwipsPerPixel), float(outer.height() * kTwipsPerPixel), state};
}

template <typename Step>
void Form1::runLayout(Step step)
{
    layout::LayoutState state{app_.LayoutFlag, app_.SplitterLeft, dragStartX_};
    step(state);
    app_.LayoutFlag = state.LayoutFlag;
    app_.SplitterLeft = state.SplitterLeft;
    dragStartX_ = state.DragStartX;
    applyPanes();
}

void Form1::applyPanes()
{
    const std::pair<QWidget*, const layout::Box*> boxes[] = {
        {Drive1, &panes_.Drive1},     {Dir1, &panes_.Dir1},     {File1, &panes_.File1},
        {List1, &panes_.List1},       {List2, &panes_.List2},   {Text1, &panes_.Text1},
        {Command1, &panes_.Command1}, {Label1, &panes_.Label1}, {Picture1, &panes_.Picture1}};
    for (const auto& [widget, box] : boxes)
        place(widget, *box);
}

void Form1::Form_Resize()
{
    // Keep the window manager from offering sizes below the minimum; the
    // layout enlarges the window itself where that is not enough.
    const QSize frame = frameGeometry().size() - size();
    setMinimumSize(px(layout::kMinimumWidth) - frame.width(), px(layout::kMinimumHeight) - frame.height());
    layout::Window window = outerWindow();
    const layout::Window before = window;
    runLayout([&](layout::LayoutState& state) { layout::formResize(window, panes_, state); });
    if (window.width != before.width || window.height != before.height) {
        resize(px(window.width) - frame.width(), px(window.height) - frame.height());
    }
}

void Form1::GetBack()
{
    const layout::Window window = outerWindow();
    runLayout([&](layout::LayoutState& state) { layout::getBack(window, panes_, state); });
}

void Form1::Picture1_MouseDown(int, float x)
{
    runLayout([&](layout::LayoutState& state) { setBarColour(layout::splitterMouseDown(x, state)); });
}

void Form1::Picture1_MouseMove(int buttons, float x)
{
    const layout::Window window = outerWindow();
    runLayout([&](layout::LayoutState& state) { layout::splitterMouseMove(buttons, x, window, panes_, state); });
}

void Form1::Picture1_MouseUp(int, float) { setBarColour(layout::splitterMouseUp()); }

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void CenterForm(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QSize s = screen->geometry().size();
    const QRect frame = window.frameGeometry();
    const auto place =
        Commands::CenterPosition(s.width() * double(kTwipsPerPixel), s.height() * double(kTwipsPerPixel),
                                 frame.width() * double(kTwipsPerPixel), frame.height() * double(kTwipsPerPixel));
    window.move(px(place.left), px(place.top));
}

void Form1::Drive1_Change()
{
    // Each drive keeps its current folder, as drive letters do.
    const QString drive = Drive1->drive();
    if (Dir1->setPath(driveFolders_.value(drive, drive)) || Dir1->setPath(drive))
        return;
    // A drive that cannot be read: say so and stay where the lists are.
    MessageBox::inform(this, app_.AppTitle, QStringLiteral("Laufwerk '%1' kann nicht gelesen werden.").arg(drive));
    const QSignalBlocker blocker(Drive1);
    Drive1->setDrive(rootOf(Dir1->path(), Drive1->drives()));
}

void Form1::Dir1_Change()
{
    driveFolders_.insert(rootOf(Dir1->path(), Drive1->drives()), Dir1->path());
    File1->setPath(Dir1->path());
}

QString Form1::decode(const std::string& bytes) const { return decodeText(bytes, app_.Codec); }

std::string Form1::encode(const QString& text) const { return encodeText(text, app_.Codec); }

std::string Form1::list1Text() const
{
    const QModelIndex index = List1->currentIndex();
    return index.isValid() ? sections_->raw(index.row()) : std::string();
}

std::string Form1::list2Text() const
{
    const QModelIndex index = List2->currentIndex();
    return index.isValid() ? keys_->raw(index.row()) : std::string();
}

QString Form1::selectedFilePath() const
{
    QString folder = File1->path();
    return Commands::AddBackslash(folder) + File1->fileName();
}

void Form1::File1_MouseDown(int button)
{
    if (File1->fileName().isEmpty() || button != 2)
        return;
    app_.CurrentFile = selectedFilePath();
    const bool registry = isRegistryName(File1->fileName());
    // Wine's own files are neither converted nor spaced: Wine reads only its form.
    const bool wine = fileKindOf(app_.CurrentFile) == FileKind::WineRegistry;
    mnuConvert->setEnabled(registry && !wine);
    mnuSpace->setEnabled(!registry && !wine);
    mnuPop->popup(QCursor::pos());
}

void Form1::File1_DblClick()
{
    if (app_.QuoteState == kStartUpSelection)
        return;
    app_.CurrentFile = selectedFilePath();
    startEditor(notepadCommandLine(app_.CurrentFile));
}

void Form1::mnuDel_Click()
{
    if (MessageBox::ask(this, app_.AppTitle, deleteQuestion(app_.CurrentFile)) == MessageBox::No)
        return;
    if (!deleteFile(app_.CurrentFile))
        warn(deleteFailedNote(app_.CurrentFile));
    // The entry of a file that is gone would only invite a click on nothing.
    File1->refresh();
}

void Form1::mnuConvert_Click()
{
    // The waiting text belongs to one file; any other file keeps its content.
    if (app_.ConvertPending != 1 || app_.Text2Source != app_.CurrentFile) {
        MessageBox::inform(this, app_.AppTitle, nothingToConvertNote(app_.CurrentFile));
        return;
    }
    if (!app_.Text2Refusal.isEmpty()) {
        tell(app_.Text2Refusal);
        return;
    }
    if (MessageBox::ask(this, app_.AppTitle, convertQuestion(app_.CurrentFile)) == MessageBox::No)
        return;
    // The text was read from the file as it was loaded; written over a
    // file that changed since, it would undo that change.
    if (identityOf(app_.CurrentFile) != app_.Text2Identity) {
        warn(changedSinceReadNote(app_.CurrentFile) + QStringLiteral(" Die Datei wird neu geladen."));
        File1_Click();
        return;
    }
    const ReplaceResult written = writeConversion(app_.CurrentFile, Text2->bytes(), app_.Text2Identity);
    if (!written.written) {
        warn(conversionFailedNote(app_.CurrentFile, written));
        return;
    }
    app_.ConvertPending = 0;
    app_.LoadedIdentity = identityOf(app_.CurrentFile);
    setWindowTitle(app_.AppTitle + QStringLiteral(" - ") + Commands::FileNamePart(app_.CurrentFile));
}

void Form1::mnuSpace_Click()
{
    warn(insertSpaces(app_.CurrentFile).reason);
    File1_Click();
}

void Form1::tell(const QString& message)
{
    if (!message.isEmpty())
        MessageBox::inform(this, app_.AppTitle, message);
}

void Form1::warn(const QString& message)
{
    if (!message.isEmpty())
        MessageBox::warn(this, app_.AppTitle, message);
}

void Form1::File1_Click()
{
    sections_->clear();
    keys_->clear();
    app_.CurrentFile = selectedFilePath();
    // Taken before the read: a change while it reads shows as a change.
    app_.LoadedFile = app_.CurrentFile;
    app_.LoadedIdentity = identityOf(app_.CurrentFile);
    LoadResult loaded = loadFile(app_.CurrentFile);
    if (loaded.failed)
        warn(readFailedNote(app_.CurrentFile));
    app_.ConvertPending = loaded.markerFound ? 1 : 0;
    app_.Codec = loaded.codec;
    sections_->setEntries(std::move(loaded.sections), loaded.codec);
    QString caption = app_.AppTitle + QStringLiteral(" - ") + Commands::FileNamePart(app_.CurrentFile);
    if (loaded.markerFound) {
        Text2->setBytes(std::move(loaded.regedit4));
        app_.Text2Source = app_.CurrentFile;
        app_.Text2Identity = app_.LoadedIdentity;
        app_.Text2Refusal = regedit4Refusal(loaded, app_.CurrentFile);
        app_.Text2InPlace = writesInPlace(loaded);
        caption += QLatin1Char('*');
    }
    setWindowTitle(caption);
    Text1->setText(QString());
    Command1->setEnabled(false);
    if (sections_->rowCount() > 0)
        List1->setCurrentIndex(sections_->index(0));
}

void Form1::List1_Click()
{
    Text1->setText(QString());
    label1Bytes_ = list1Text();
    Label1->setText(decode(label1Bytes_));
    keys_->clear();
    KeyListing listing = listKeys(app_.CurrentFile, label1Bytes_, fileKindOf(app_.CurrentFile));
    keys_->setEntries(listing.keys, app_.Codec);
    if (listing.readFailed)
        warn(readFailedNote(app_.CurrentFile));
    if (listing.failed)
        return;
    Command1->setEnabled(false);
    if (keys_->rowCount() > 0)
        List2->setCurrentIndex(keys_->index(0));
}

void Form1::List2_Click()
{
    const ValueView view = lookUpValue(fileKindOf(app_.CurrentFile), app_.CurrentFile, list1Text(), label1Bytes_,
                                       list2Text(), encode(Text1->text()));
    if (view.quoteState)
        app_.QuoteState = *view.quoteState;
    if (view.text)
        Text1->setText(view.utf8 ? QString::fromStdString(*view.text) : decode(*view.text));
    if (view.toolTip)
        valueTip_->setDescription(*view.toolTip);
    if (view.enabled)
        Text1->setEnabled(*view.enabled);
    if (view.readFailed)
        warn(readFailedNote(app_.CurrentFile));
    if (view.failed)
        return;
    Command1->setEnabled(false);
}

void Form1::Text1_Change() { Command1->setEnabled(true); }

void Form1::Command1_Click()
{
    // The apply lets pending events run; a second click meanwhile must not
    // start a second rewrite of the same file.
    if (applying_)
        return;
    // Everything the write uses is taken now, before any event can run.
    const EditRequest request{app_.CurrentFile, app_.LoadedIdentity, fileKindOf(app_.CurrentFile),
                              app_.Codec,       list1Text(),         label1Bytes_,
                              list2Text(),      Text1->text(),       app_.QuoteState};
    const bool waiting = app_.ConvertPending == 1 && app_.Text2Source == request.file;
    // A UTF-16 export that REGEDIT4 cannot hold keeps its form: the value is
    // written into it in place, and the text stays waiting.
    const bool inPlace = waiting && app_.Text2InPlace;
    const bool pending = waiting && !inPlace;
    // The apply would write the waiting text as the file's new content.
    if (pending && !app_.Text2Refusal.isEmpty()) {
        tell(app_.Text2Refusal);
        return;
    }
    if (request.kind == FileKind::WineRegistry && wineServerRunsFor(winePrefixOf(request.file)) &&
        MessageBox::ask(this, app_.AppTitle, wineRunningQuestion()) == MessageBox::No)
        return;
    applying_ = true;
    const EditResult result =
        applyEdit(request, pending ? &Text2->bytes() : nullptr, [] { QCoreApplication::processEvents(); });
    applying_ = false;
    if (result.pendingUsed && app_.Text2Source == request.file)
        app_.ConvertPending = 0;
    if (inPlace && result.status == EditStatus::Done && app_.InPlaceTold != request.file) {
        app_.InPlaceTold = request.file;
        tell(inPlaceNote(request.file));
    }
    applied(request, result);
}

void Form1::applied(const EditRequest& request, const EditResult& result)
{
    const bool stillShown =
        app_.CurrentFile == request.file && list1Text() == request.section && list2Text() == request.key;
    switch (result.status) {
    case EditStatus::Done:
        if (app_.CurrentFile == request.file)
            app_.LoadedIdentity = identityOf(request.file);
        if (stillShown)
            Command1->setEnabled(false);
        return;
    case EditStatus::Changed:
        reloadAfterChange(request, result);
        return;
    case EditStatus::DeleteFailed:
        // The value is in the file; only the backup stays behind.
        if (app_.CurrentFile == request.file)
            app_.LoadedIdentity = identityOf(request.file);
        warn(result.reason);
        return;
    case EditStatus::Refused:
    case EditStatus::Invalid:
    case EditStatus::BackupTaken:
    case EditStatus::BackupFailed:
    case EditStatus::WriteFailed:
        warn(result.reason);
        return;
    }
}

void Form1::reloadAfterChange(const EditRequest& request, const EditResult& result)
{
    if (request.file != app_.LoadedFile) {
        // A right-click made another file current; the lists show the loaded one.
        warn(QStringLiteral("Die Datei '%1' ist nicht die geladene Datei. Der Wert wurde nicht gespeichert.")
                 .arg(Commands::FileNamePart(request.file)));
        return;
    }
    warn(result.reason + QStringLiteral(" Die Datei wird neu geladen; der eingegebene Wert bleibt im Feld."));
    File1_Click();
    // The same section and key again, with what the user typed, ready to apply.
    const int section = sections_->rowOf(request.section);
    if (section < 0)
        return;
    List1->setCurrentIndex(sections_->index(section));
    const int key = keys_->rowOf(request.key);
    if (key < 0)
        return;
    List2->setCurrentIndex(keys_->index(key));
    Text1->setText(request.text);
}

QString Form1::UnQuote(QString& text)
{
    std::string bytes = encode(text);
    if (unQuote(bytes, app_.QuoteState))
        text = decode(bytes);
    return text;
}

QString Form1::EnQuote(QString& text)
{
    std::string bytes = encode(text);
    enQuote(bytes);
    text = decode(bytes);
    return text;
}

void Form1::createFind()
{
    findDialog = new FindDialog(this);
    finder_ = new FindRunner(this);
    connect(findDialog, &FindDialog::findRequested, this, [this](const FindQuery& query) { startFind(query); });
    connect(finder_, &FindRunner::finished, this, &Form1::showFindResult);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this), &QShortcut::activated, this, &Form1::showFind);
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this, &Form1::findAgain);
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this), &QShortcut::activated, this,
            &Form1::findAgainBackward);
}

void Form1::showFind()
{
    findDialog->show();
    findDialog->raise();
    findDialog->activateWindow();
    findDialog->textBox->setFocus();
    findDialog->textBox->selectAll();
}

void Form1::findAgain()
{
    if (lastQuery_)
        startFind(*lastQuery_);
    else
        showFind();
}

void Form1::findAgainBackward()
{
    if (lastQuery_)
        startFind(*lastQuery_, true);
    else
        showFind();
}

Form1::FindPlace Form1::findPlace() const
{
    return {app_.CurrentFile,
            {List1->currentIndex().isValid() ? List1->currentIndex().row() : -1,
             List2->currentIndex().isValid() ? List2->currentIndex().row() : -1}};
}

void Form1::startFind(const FindQuery& query, bool backward)
{
    if (finder_->busy())
        return;
    lastQuery_ = query;
    findStart_ = findPlace();
    findBackward_ = backward;
    findWrapped_ = false;
    findDialog->noteLabel->clear();
    const FindPosition from = lastMatch_ && lastMatch_->first == findStart_ ? lastMatch_->second : findStart_.rows;
    finder_->start({app_.CurrentFile, fileKindOf(app_.CurrentFile), app_.Codec, query, from}, backward);
}

void Form1::showFindResult(const FindResult& result)
{
    // The user chose something else meanwhile: the answer belongs elsewhere.
    if (findPlace() != findStart_)
        return;
    // A file that could not be read may hold the text in what was not read:
    // neither "not found" nor a search from the other end would be true.
    if (result.status == FindStatus::Failed) {
        QWidget* parent = findDialog->isVisible() ? static_cast<QWidget*>(findDialog) : this;
        MessageBox::warn(parent, app_.AppTitle, readFailedNote(app_.CurrentFile));
        return;
    }
    const bool found = result.status == FindStatus::Found && result.at.section < sections_->rowCount();
    // Once past the end, from the other end of the file, unless the first
    // search covered it all already.
    const FindPosition fromStart{-1, -1};
    if (!found && !findWrapped_ && (findBackward_ || findStart_.rows != fromStart)) {
        findWrapped_ = true;
        const FindPosition from = findBackward_ ? FindPosition{std::numeric_limits<int>::max(), -1} : fromStart;
        finder_->start({app_.CurrentFile, fileKindOf(app_.CurrentFile), app_.Codec, *lastQuery_, from}, findBackward_);
        return;
    }
    if (!found) {
        QWidget* parent = findDialog->isVisible() ? static_cast<QWidget*>(findDialog) : this;
        MessageBox::inform(parent, app_.AppTitle, QStringLiteral("'%1' wurde nicht gefunden.").arg(lastQuery_->text));
        return;
    }
    if (findWrapped_) {
        findDialog->noteLabel->setText(findBackward_ ? QStringLiteral("Am Dateiende fortgesetzt.")
                                                     : QStringLiteral("Am Dateianfang fortgesetzt."));
        // Shown beside the window, which keeps the focus for the match.
        findDialog->setAttribute(Qt::WA_ShowWithoutActivating);
        findDialog->show();
        findDialog->setAttribute(Qt::WA_ShowWithoutActivating, false);
    } else {
        findDialog->hide();
    }
    activateWindow();
    List1->setCurrentIndex(sections_->index(result.at.section));
    if (result.at.key >= 0 && result.at.key < keys_->rowCount()) {
        List2->setCurrentIndex(keys_->index(result.at.key));
        List2->setFocus();
    } else {
        List1->setFocus();
    }
    lastMatch_.emplace(findPlace(), result.at);
}

void Form1::createCompare()
{
    mnuCompare = mnuPop->addAction(QStringLiteral("vergleichen mit..."));
    mnuCompare->setObjectName(QStringLiteral("mnuCompare"));
    comparer_ = new CompareRunner(this);
    connect(mnuCompare, &QAction::triggered, this, &Form1::mnuCompare_Click);
    connect(comparer_, &CompareRunner::finished, this, &Form1::showComparison);
}

void Form1::mnuCompare_Click()
{
    const QString first = app_.CurrentFile;
    const QString second = secondFileChooser()(this, File1->path());
    if (!second.isEmpty())
        comparer_->start(first, second);
}

void Form1::showComparison(const QString& a, const QString& b, const Comparison& result)
{
    if (result.status == CompareStatus::Equal) {
        tell(QStringLiteral("Keine Unterschiede."));
        return;
    }
    if (result.status != CompareStatus::Different) {
        tell(compareFailureMessage(result, a, b));
        return;
    }
    auto* window = new DifferencesWindow(a, b, result.differences, this);
    connect(window, &DifferencesWindow::rowChosen, this, &Form1::showDifference);
    window->show();
}

void Form1::showDifference(const QString& file, const std::string& section, const std::string& key)
{
    // The lists show a file once File1 has it selected.
    const QFileInfo info(file);
    if (QFileInfo(selectedFilePath()) != info) {
        if (QFileInfo(File1->path()).absoluteFilePath() != info.absolutePath())
            Dir1->setPath(info.absolutePath());
        const auto items = File1->findItems(info.fileName(), Qt::MatchExactly);
        if (items.isEmpty())
            return;
        File1->setCurrentItem(items.first());
    }
    activateWindow();
    raise();
    const std::string sectionKey = profileNameKey(section);
    for (int row = 0; row < sections_->rowCount(); ++row) {
        if (profileNameKey(sections_->raw(row)) != sectionKey)
            continue;
        List1->setCurrentIndex(sections_->index(row));
        List1->setFocus();
        const std::string keyKey = profileNameKey(key);
        for (int k = 0; !key.empty() && k < keys_->rowCount(); ++k) {
            if (profileNameKey(keys_->raw(k)) == keyKey) {
                List2->setCurrentIndex(keys_->index(k));
                List2->setFocus();
                break;
            }
        }
        return;
    }
}

}  // namespace keyloom
