#pragma once
// The whole text of a list row or of the value box where the window shows
// only part of it, for tooltips and screen readers. It is worked out when a
// tooltip or a screen reader asks, for the one row asked about, so that a
// list of a million sections costs nothing more at load.

#include <QObject>
#include <QString>

class QAbstractItemView;
class QLineEdit;
class QModelIndex;

namespace keyloom {

// The text of row `index` when `view` shows it only in part (cut or elided
// at the list's edge, or scrolled aside); "" when the whole row is in view.
QString cutRowText(const QAbstractItemView& view, const QModelIndex& index);

// The text of `box` when it is wider than the box; "" when it fits.
QString cutBoxText(const QLineEdit& box);

// `text` as a tooltip shows it: as plain text, also where it looks like
// markup.
QString plainToolTip(const QString& text);

// A tooltip of the whole text `whole`, broken into lines a screen holds (a
// name without blanks is not broken by the tooltip itself) and ended with
// "…" after ten of them, followed by `own` on lines of its own. "" for an
// empty `whole`.
QString wholeTextToolTip(const QString& whole, const QString& own = {});

// The tooltip and accessible description of a value box: `description` (what
// the value holds; may be empty), led by the whole text while the box shows
// only part of it. Belongs to the box.
class BoxToolTip : public QObject {
    Q_OBJECT
public:
    explicit BoxToolTip(QLineEdit* box);
    void setDescription(const QString& description);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateAccessibleDescription();
    QLineEdit* box_;
    QString description_;
};

}  // namespace keyloom
