#include "ui/wholetext.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextDocument>
#include <QToolTip>

namespace keyloom {

namespace {

// About as many characters as a tooltip line holds on a small screen.
constexpr qsizetype kLineChars = 100;
// A taller tooltip would cover the mouse pointer on a small screen, and the
// pointer leaving the row or box for the tooltip hides it again.
constexpr int kMaxLines = 10;

bool isBreakAfter(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\\') || c == QLatin1Char(','); }

// Where the first line of `text` (longer than a line) ends: after the last
// blank, backslash or comma of its second half where there is one.
qsizetype lineEnd(QStringView text)
{
    for (qsizetype i = kLineChars; i > kLineChars / 2; --i) {
        if (isBreakAfter(text[i - 1]))
            return i;
    }
    return text[kLineChars - 1].isHighSurrogate() ? kLineChars - 1 : kLineChars;
}

// `text` in lines of at most kLineChars, at most kMaxLines of them; "…" ends
// a text cut short.
QString brokenIntoLines(QStringView text)
{
    QString lines;
    for (int line = 1; text.size() > kLineChars; ++line) {
        const qsizetype end = lineEnd(text);
        lines += text.left(end);
        if (line == kMaxLines) {
            lines += QChar(0x2026);
            return lines;
        }
        lines += QLatin1Char('\n');
        text = text.sliced(end);
    }
    lines += text;
    return lines;
}

// The width the box has for its text, as QLineEdit lays it out: the
// contents within the frame, less the text margins and its own margin of
// two pixels on each side.
int textWidthOf(const QLineEdit& box)
{
    QStyleOptionFrame option;
    option.initFrom(&box);
    option.rect = box.contentsRect();
    option.lineWidth = box.hasFrame() ? box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &box) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents = box.style()->subElementRect(QStyle::SE_LineEditContents, &option, &box);
    return contents.marginsRemoved(box.textMargins()).width() - 2 * 2;
}

}  // namespace

QString cutRowText(const QAbstractItemView& view, const QModelIndex& index)
{
    if (!index.isValid())
        return {};
    // The delegate elides the text at the item's edge, and the viewport cuts
    // the item at its own.
    const QRect item = view.visualRect(index);
    const int needed = view.sizeHintForIndex(index).width();
    const bool fits = item.left() >= 0 && needed <= item.width() && item.left() + needed <= view.viewport()->width();
    return fits ? QString() : index.data(Qt::DisplayRole).toString();
}

QString cutBoxText(const QLineEdit& box)
{
    // One pixel more for the cursor, as the box reckons.
    const QString text = box.displayText();
    return box.fontMetrics().horizontalAdvance(text) + 1 + 1 > textWidthOf(box) ? text : QString();
}

QString plainToolTip(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped().replace(QLatin1Char('\n'), "<br>") +
           QStringLiteral("</p>");
}

QString wholeTextToolTip(const QString& whole, const QString& own)
{
    if (whole.isEmpty())
        return {};
    return plainToolTip(own.isEmpty() ? brokenIntoLines(whole) : brokenIntoLines(whole) + QLatin1Char('\n') + own);
}

BoxToolTip::BoxToolTip(QLineEdit* box) : QObject(box), box_(box)
{
    box_->installEventFilter(this);
    connect(box_, &QLineEdit::textChanged, this, &BoxToolTip::updateAccessibleDescription);
}

void BoxToolTip::setDescription(const QString& description)
{
    description_ = description;
    box_->setToolTip(plainToolTip(description));
    updateAccessibleDescription();
}

void BoxToolTip::updateAccessibleDescription()
{
    const QString whole = cutBoxText(*box_);
    QString text = description_;
    if (!whole.isEmpty())
        text = description_.isEmpty() ? whole : whole + QLatin1Char('\n') + description_;
    if (box_->accessibleDescription() != text)
        box_->setAccessibleDescription(text);
}

bool BoxToolTip::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::FontChange:
    case QEvent::StyleChange:
        updateAccessibleDescription();
        break;
    case QEvent::ToolTip: {
        const QString whole = cutBoxText(*box_);
        if (whole.isEmpty())
            break;  // the box's own tooltip, if it has one
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), wholeTextToolTip(whole, description_), box_,
                           box_->rect());
        event->accept();
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace keyloom
