#include "controls/TDBNumberEdit.h"

#include "controls/Feedback.h"
#include "store/Format.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QValidator>

#include <cmath>

namespace ui {

// Applies TDBNumberEdit::read to every change of the text, typed, pasted or
// dropped. A refused change is undone by QLineEdit itself, so the edit never
// holds a text that does not read as a value; the edit says why it refused.
class TDBNumberEdit::Validator : public QValidator {
public:
    explicit Validator(TDBNumberEdit *edit) : QValidator(edit), m_edit(edit) {}
    bool enabled = true;

    State validate(QString &input, int &pos) const override
    {
        if (!enabled)
            return Acceptable;
        const Reading r = read(input, m_edit->m_min, m_edit->m_max, m_edit->m_decimals);
        if (!r.ok) {
            m_edit->refuse(r.problem);
            return Invalid;
        }
        if (r.shown != input) {
            // Same length means characters were only mapped (full-width
            // digits): the caret stays. A clamped value puts it at the end.
            if (r.shown.size() != input.size())
                pos = int(r.shown.size());
            if (r.clamped)
                m_edit->noteClamp(input.trimmed(), r.shown, r.problem);
            input = r.shown;
        }
        return Acceptable;
    }

private:
    TDBNumberEdit *m_edit;
};

namespace {

QChar mapChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 0xFF10 && u <= 0xFF19) // full-width digits
        return QChar(char16_t(u'0' + (u - 0xFF10)));
    if (u == 0xFF0C) // full-width "，"
        return QLatin1Char(',');
    if (u == 0xFF0E) // full-width "．"
        return QLatin1Char('.');
    return c;
}

// "" -> null; "." -> 0; otherwise the number the text reads as.
bool readNumber(const QString &text, double *value)
{
    if (text == QLatin1String(".")) {
        *value = 0.0;
        return true;
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool allGroupsOfThree(const QStringList &groups, int from, int to)
{
    for (int i = from; i < to; ++i)
        if (groups[i].size() != 3)
            return false;
    return true;
}

} // namespace

// How a figure is typed: digits, at most one "." and commas. A comma
// followed by three digits separates thousands ("8,000", "1,234.5",
// "1,234,567"); a comma with one or two digits after it, or none yet, and
// no "." in the figure is the decimal separator ("8,5", "8,"). So the text
// reads at every keystroke of "1,234.5" as what it shows: 1, 1, 1.2, 1.23,
// 1234, 1234, 1234.5.
TDBNumberEdit::Reading TDBNumberEdit::read(const QString &text, double minValue, double maxValue, int decimals)
{
    Reading r;
    // Blanks and line ends around a pasted figure (a spreadsheet cell
    // copies as "12\r\n") are dropped; a blank inside is refused.
    const QString in = text.trimmed();
    QString s;
    s.reserve(in.size());
    for (QChar c : in) {
        c = mapChar(c);
        if (c == QLatin1Char('-') || c == QChar(0x2212) || c == QChar(0xFF0D)) {
            r.problem = QStringLiteral("不能输入负数");
            return r;
        }
        if (c != QLatin1Char('.') && c != QLatin1Char(',') && (c < QLatin1Char('0') || c > QLatin1Char('9'))) {
            r.problem = QStringLiteral("只能输入数字和小数点");
            return r;
        }
        s += c;
    }
    const QString tooManyDecimals = QStringLiteral("小数点后最多%1位").arg(decimals);
    const QString badGroup = QStringLiteral("千位分隔符“,”后应为三位数字");
    const int dot = int(s.indexOf(QLatin1Char('.')));
    if (dot >= 0 && s.indexOf(QLatin1Char('.'), dot + 1) >= 0) {
        r.problem = QStringLiteral("只能有一个小数点");
        return r;
    }
    QString whole = dot >= 0 ? s.left(dot) : s;
    QString fraction = dot >= 0 ? s.mid(dot + 1) : QString();
    bool separator = dot >= 0;
    if (fraction.contains(QLatin1Char(','))) {
        r.problem = QStringLiteral("小数点后不能有逗号");
        return r;
    }
    if (whole.contains(QLatin1Char(','))) {
        const QStringList groups = whole.split(QLatin1Char(','));
        const int n = int(groups.size());
        const bool lastIsDecimal = dot < 0 && groups[n - 1].size() < 3;
        const int thousandsUpTo = lastIsDecimal ? n - 1 : n;
        if (groups[n - 1].size() > 3 && dot < 0) {
            r.problem = badGroup;
            return r;
        }
        // A thousands separator needs digits before it and three after.
        if ((thousandsUpTo > 1 && groups[0].isEmpty()) || !allGroupsOfThree(groups, 1, thousandsUpTo)) {
            r.problem = dot >= 0 || groups[n - 1].size() >= 3 ? badGroup : QStringLiteral("只能有一个小数点");
            return r;
        }
        whole = groups.mid(0, thousandsUpTo).join(QString());
        if (lastIsDecimal) {
            fraction = groups[n - 1];
            separator = true;
        }
    }
    if (fraction.size() > decimals) {
        r.problem = tooManyDecimals;
        return r;
    }
    r.ok = true;
    r.shown = s;
    if (s.isEmpty())
        return r;
    r.stored = separator ? whole + QLatin1Char('.') + fraction : whole;
    double v = 0.0;
    if (!readNumber(r.stored, &v)) {
        r.ok = false;
        r.problem = QStringLiteral("只能输入数字和小数点");
        return r;
    }
    if (v > maxValue || v < minValue) {
        const double limit = v > maxValue ? maxValue : minValue;
        r.stored = r.shown = store::formatNumber(limit);
        r.clamped = true;
        r.problem = QStringLiteral("%1，已改为 %2").arg(v > maxValue ? QStringLiteral("超过上限")
                                                                  : QStringLiteral("低于下限"),
                                                        r.shown);
        v = limit;
    }
    r.value = v;
    return r;
}

bool TDBNumberEdit::normalise(QString &text, double minValue, double maxValue, int decimals)
{
    const Reading r = read(text, minValue, maxValue, decimals);
    if (!r.ok)
        return false;
    text = r.stored;
    return true;
}

TDBNumberEdit::TDBNumberEdit(QWidget *parent) : QLineEdit(parent)
{
    m_validator = new Validator(this);
    setValidator(m_validator);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::textChanged, this, &TDBNumberEdit::textChangedHere);
}

void TDBNumberEdit::refuse(const QString &reason) { warn(reason); }

void TDBNumberEdit::noteClamp(const QString &typed, const QString &shown, const QString &reason)
{
    m_clampedFrom = typed;
    m_clampShown = shown;
    warn(reason);
}

void TDBNumberEdit::warn(const QString &reason)
{
    feedback::warn(this, reason);
    emit signalled(reason);
}

QString TDBNumberEdit::takeClampNotice()
{
    QString typed;
    typed.swap(m_clampedFrom);
    return typed;
}

void TDBNumberEdit::textChangedHere(const QString &text)
{
    // The clamped figure is no longer what the edit holds once it changed.
    if (text != m_clampShown)
        m_clampedFrom.clear();
    clearMark();
}

void TDBNumberEdit::setMark(const QString &text)
{
    if (!m_marked)
        m_toolTipBeforeMark = toolTip();
    m_marked = true;
    setToolTip(text);
    update();
}

void TDBNumberEdit::clearMark()
{
    if (!m_marked)
        return;
    m_marked = false;
    setToolTip(m_toolTipBeforeMark);
    update();
}

void TDBNumberEdit::paintEvent(QPaintEvent *event)
{
    QLineEdit::paintEvent(event);
    if (!m_marked)
        return;
    QPainter p(this);
    p.setPen(QPen(Qt::red, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

void TDBNumberEdit::setMinValue(double v) { m_min = v; }
void TDBNumberEdit::setMaxValue(double v) { m_max = v; }
void TDBNumberEdit::setDecimalPlaces(int places) { m_decimals = places < 0 ? 0 : places; }

QVariant TDBNumberEdit::value() const
{
    const Reading r = read(text(), m_min, m_max, 99); // a value put in may have more decimals
    if (!r.ok || r.stored.isEmpty())
        return QVariant();
    return QVariant(r.value);
}

bool TDBNumberEdit::isNull() const { return !value().isValid(); }

void TDBNumberEdit::setTextUnchecked(const QString &t)
{
    m_clampedFrom.clear();
    m_validator->enabled = false;
    setText(t);
    m_validator->enabled = true;
}

void TDBNumberEdit::setValue(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        setTextUnchecked(QString());
        return;
    }
    bool ok = false;
    double d = v.toDouble(&ok);
    if (!ok || !std::isfinite(d)) {
        setTextUnchecked(QString());
        return;
    }
    if (d > m_max)
        d = m_max;
    if (d < m_min)
        d = m_min;
    setTextUnchecked(store::formatNumber(d));
}

void TDBNumberEdit::keyPressEvent(QKeyEvent *event)
{
    if (OnKeyDown) {
        int key = event->key();
        OnKeyDown(this, key, event->modifiers());
        if (key == 0) {
            event->accept();
            return;
        }
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (OnKeyPress && !event->text().isEmpty()) {
        QChar ch = event->text().at(0);
        OnKeyPress(this, ch);
        if (ch.isNull()) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
    // Enter belongs to the edit: it must not reach a dialog's default button.
    if (enter)
        event->accept();
}

void TDBNumberEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QLineEdit::mouseReleaseEvent(event);
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), event->position().toPoint());
}

void TDBNumberEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // Show what is held in its general form ("035." -> "35").
    if (!text().isEmpty()) {
        const QVariant v = value();
        const QString shown = v.isValid() ? store::formatNumber(v.toDouble()) : QString();
        if (shown != text())
            setTextUnchecked(shown);
    }
    // Another window taking the focus (a message box, a popup) is no exit:
    // the focus is still this window's when it comes back.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    m_exitReason = event->reason();
    if (OnExit)
        OnExit(this);
}

} // namespace ui
