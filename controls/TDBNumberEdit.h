#pragma once
// A one-line edit for a non-negative figure with at most a few decimals.
//
// Its value is either null (the edit is empty) or a double. Only digits, one
// decimal separator and thousands separators can be typed or pasted: "." is
// the decimal separator, and so is "," unless three digits follow it, which
// makes it a thousands separator ("8,5" is 8.5, "8,000" is 8000, "1,234.5"
// is 1234.5; full-width digits and "，" from an IME alike); there is no
// minus sign. Whenever the text changes the control reads it as a value and
// brings a value beyond a limit to that limit. What is typed stays as typed
// until the edit is left, when it is shown in the shortest general decimal
// form (35.5, 120), as is a value put in.
//
// Nothing is changed or refused silently: a refused keystroke or paste and a
// value brought to a limit sound the system's warning and show the reason
// beside the edit for a moment; a value brought to a limit is also kept for
// the window to say once when the edit is left (takeClampNotice).
//
// The window that holds the edits hooks into four events, in the manner of
// the original form's event properties: OnMouseUp (button released),
// OnExit (focus moved to another control of the same window), OnKeyDown
// (before the key is handled; set the key to 0 to consume it) and OnKeyPress
// (the character the key gives, e.g. '\r' for Enter; set it to 0 to consume).
#include <QLineEdit>
#include <QPoint>
#include <QVariant>

#include <functional>

class QValidator;

namespace ui {

class TDBNumberEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDBNumberEdit(QWidget *parent = nullptr);

    // Null (an invalid QVariant) when empty, else the number as a double.
    QVariant value() const;
    bool isNull() const;
    // An invalid/null variant empties the edit; a number is clamped to the
    // limits and shown in its shortest general form.
    void setValue(const QVariant &value);
    void setNumber(double value) { setValue(QVariant(value)); }
    void clearValue() { setValue(QVariant()); }

    double minValue() const { return m_min; }
    double maxValue() const { return m_max; }
    void setMinValue(double v);
    void setMaxValue(double v);
    int decimalPlaces() const { return m_decimals; }
    void setDecimalPlaces(int places);

    // The rule the control applies to every text change, usable on its own:
    // returns false when the text cannot be typed (wrong character, second
    // separator, too many decimals, minus); otherwise text is rewritten to
    // its stored form ("," as ".", blanks around it dropped, a value beyond
    // a limit as that limit).
    static bool normalise(QString &text, double minValue, double maxValue, int decimals);

    // The same rule with what it found: the text as the edit shows it (as
    // typed, full-width characters mapped, or the limit), its stored form
    // (digits and "."), the value, or why it is refused.
    struct Reading {
        bool ok = false;
        bool clamped = false; // the value was brought to a limit
        QString shown;
        QString stored;
        double value = 0.0;
        QString problem; // why refused, or what the clamp did
    };
    static Reading read(const QString &text, double minValue, double maxValue, int decimals);

    // The figure as typed before it was brought to a limit, once: empty when
    // nothing was clamped since the last call or the figure was changed
    // since.
    QString takeClampNotice();

    // A figure that breaks a rule: a red frame and the rule's text as the
    // edit's tooltip, until the figure changes or the mark is cleared.
    void setMark(const QString &text);
    void clearMark();
    bool isMarked() const { return m_marked; }

signals:
    // A keystroke or paste refused, or a figure brought to a limit, with the
    // reason shown to the user.
    void signalled(const QString &reason);

public:

    // Why the focus last left the edit (a click elsewhere, Tab, ...), kept
    // for the OnExit handler.
    Qt::FocusReason exitReason() const { return m_exitReason; }

    std::function<void(TDBNumberEdit *, Qt::MouseButton, Qt::KeyboardModifiers, const QPoint &)> OnMouseUp;
    std::function<void(TDBNumberEdit *)> OnExit;
    std::function<void(TDBNumberEdit *, int &key, Qt::KeyboardModifiers)> OnKeyDown;
    std::function<void(TDBNumberEdit *, QChar &key)> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setTextUnchecked(const QString &text);
    void refuse(const QString &reason);
    void noteClamp(const QString &typed, const QString &shown, const QString &reason);
    void warn(const QString &reason);
    void textChangedHere(const QString &text);

    double m_min = 0.0;
    double m_max = 999999999.99;
    int m_decimals = 2;
    Qt::FocusReason m_exitReason = Qt::OtherFocusReason;
    class Validator;
    Validator *m_validator = nullptr;
    QString m_clampedFrom; // typed before the clamp, until said or changed
    QString m_clampShown;  // the limit the clamp showed
    bool m_marked = false;
    QString m_toolTipBeforeMark;
};

} // namespace ui
