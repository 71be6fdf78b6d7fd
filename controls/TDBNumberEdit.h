#pragma once
// A one-line edit for a non-negative figure with at most a few decimals.
//
// Its value is either null (the edit is empty) or a double. Only digits and
// one decimal separator can be typed or pasted ("." and "," both give it and
// it is shown as "."; full-width digits from an IME are taken as digits);
// there is no minus sign. Whenever the text changes the control reads it as
// a value and brings a value beyond a limit to that limit. A value put in is
// shown in the shortest general decimal form (35.5, 120).
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

private:
    void setTextUnchecked(const QString &text);

    double m_min = 0.0;
    double m_max = 999999999.99;
    int m_decimals = 2;
    Qt::FocusReason m_exitReason = Qt::OtherFocusReason;
    class Validator;
    Validator *m_validator = nullptr;
};

} // namespace ui
