#include "controls/TDBNumberEdit.h"

#include "store/Format.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QValidator>

#include <cmath>

namespace ui {

// Applies TDBNumberEdit::normalise to every change of the text, typed,
// pasted or dropped. A rejected change is undone by QLineEdit itself, so the
// edit never holds a text that does not read as a value.
class TDBNumberEdit::Validator : public QValidator {
public:
    explicit Validator(TDBNumberEdit *edit) : QValidator(edit), m_edit(edit) {}
    bool enabled = true;

    State validate(QString &input, int &pos) const override
    {
        if (!enabled)
            return Acceptable;
        QString text = input;
        if (!normalise(text, m_edit->m_min, m_edit->m_max, m_edit->m_decimals))
            return Invalid;
        if (text != input) {
            // Same length means characters were only mapped (",", full-width
            // digits): the caret stays. A clamped value puts it at the end.
            if (text.size() != input.size())
                pos = int(text.size());
            input = text;
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
    if (u == u',' || u == 0xFF0C || u == 0xFF0E) // ",", full-width "，" and "．"
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

} // namespace

bool TDBNumberEdit::normalise(QString &text, double minValue, double maxValue, int decimals)
{
    // Blanks and line ends around a pasted figure (a spreadsheet cell
    // copies as "12\r\n") are dropped; a blank inside is refused.
    const QString in = text.trimmed();
    QString s;
    s.reserve(in.size());
    int dots = 0;
    int dotAt = -1;
    for (QChar c : in) {
        c = mapChar(c);
        if (c == QLatin1Char('.')) {
            if (++dots > 1)
                return false;
            dotAt = int(s.size());
        } else if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
        s += c;
    }
    if (dotAt >= 0 && int(s.size()) - dotAt - 1 > decimals)
        return false;
    if (!s.isEmpty()) {
        double v = 0.0;
        if (!readNumber(s, &v))
            return false;
        if (v > maxValue)
            s = store::formatNumber(maxValue);
        else if (v < minValue)
            s = store::formatNumber(minValue);
    }
    text = s;
    return true;
}

TDBNumberEdit::TDBNumberEdit(QWidget *parent) : QLineEdit(parent)
{
    m_validator = new Validator(this);
    setValidator(m_validator);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TDBNumberEdit::setMinValue(double v) { m_min = v; }
void TDBNumberEdit::setMaxValue(double v) { m_max = v; }
void TDBNumberEdit::setDecimalPlaces(int places) { m_decimals = places < 0 ? 0 : places; }

QVariant TDBNumberEdit::value() const
{
    const QString t = text().trimmed();
    if (t.isEmpty())
        return QVariant();
    double v = 0.0;
    if (!readNumber(t, &v))
        return QVariant();
    if (v > m_max)
        v = m_max;
    if (v < m_min)
        v = m_min;
    return QVariant(v);
}

bool TDBNumberEdit::isNull() const { return !value().isValid(); }

void TDBNumberEdit::setTextUnchecked(const QString &t)
{
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
