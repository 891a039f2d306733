#pragma once

#include <QLineEdit>

#include "controls/MySpinUpDown.h"

class TMySpinButton;

// A numeric edit with a spin button inside its right edge. The value is kept as the edit's
// text: integer, float or hexadecimal, clamped to MinValue .. MaxValue unless both are equal.
class TMySpinEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(bool ArrowKeys READ ArrowKeys WRITE SetArrowKeys)
    Q_PROPERTY(TSpinButtonKind ButtonKind READ ButtonKind WRITE SetButtonKind)
    Q_PROPERTY(int Decimal READ Decimal WRITE SetDecimal)
    Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)
    Q_PROPERTY(double Increment READ Increment WRITE SetIncrement)
    Q_PROPERTY(double MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(double MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(TValueType ValueType READ ValueType WRITE SetValueType)
    Q_PROPERTY(double Value READ Value WRITE SetValue)

public:
    enum TSpinButtonKind { bkStandard, bkDiagonal };
    Q_ENUM(TSpinButtonKind)
    enum TValueType { vtInteger, vtFloat, vtHex };
    Q_ENUM(TValueType)

    explicit TMySpinEdit(QWidget* parent = nullptr);
    ~TMySpinEdit() override;

    bool ArrowKeys() const { return FArrowKeys; }
    void SetArrowKeys(bool value) { FArrowKeys = value; }
    TSpinButtonKind ButtonKind() const { return FButtonKind; }
    void SetButtonKind(TSpinButtonKind kind);
    int Decimal() const { return FDecimal; }
    void SetDecimal(int decimals);
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool enabled);
    double Increment() const { return FIncrement; }
    void SetIncrement(double increment);
    double MaxValue() const { return FMaxValue; }
    void SetMaxValue(double value) { FMaxValue = value; }
    double MinValue() const { return FMinValue; }
    void SetMinValue(double value) { FMinValue = value; }
    TValueType ValueType() const { return FValueType; }
    void SetValueType(TValueType type);

    // Shown in place of the number when the value is MinValue ("no limit" for a size of 0);
    // empty shows the number. The text reads back as MinValue.
    QString SpecialValueText() const { return FSpecialValueText; }
    void SetSpecialValueText(const QString& text);

    // The text read as the value type; MinValue (truncated for the integer types) when it
    // does not convert.
    double Value() const;
    double GetValue() const { return Value(); }
    // Clamps, then writes the text in the value type's notation.
    void SetValue(double value);
    // v limited to MinValue .. MaxValue; any v when the two bounds are equal.
    double CheckValue(double value) const;
    // What leaving the edit does, for a caller that reads the value while the edit still has
    // the focus: a text that is no number, or a value outside the bounds, is written back
    // as the value it stands for. Returns the value.
    double CommitValue();
    // The typing filter: digits, signs, and what the value type adds; control characters pass.
    bool IsValidChar(QChar key) const;

    // One step up (down): beeps when read-only; fires TopClick (BottomClick) afterwards.
    void UpClick();
    void DownClick();

    // The spin button inside the edit, whichever kind is in use.
    TMySpinButton* DiagonalButton() const { return FButton; }
    TRxUpDown* StandardButton() const { return FUpDown; }
    int MinHeight() const;

signals:
    void TopClick();
    void BottomClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool Step(double delta); // false when read-only
    void RecreateButton();
    void ResizeControls();
    int ButtonWidth() const;
    bool TextChangeAllowed() const;
    void UpDownClick(TRxUpDown::TUDBtnType button);
    QString FormatValue(double value) const;
    bool ParseText(const QString& text, TValueType type, double& value) const;
    bool ShowsSpecialText() const;

    bool FArrowKeys = true;
    TSpinButtonKind FButtonKind = bkDiagonal;
    int FDecimal = 2;
    bool FEditorEnabled = true;
    double FIncrement = 1.0;
    double FMaxValue = 0.0;
    double FMinValue = 0.0;
    TValueType FValueType = vtInteger;
    QString FSpecialValueText;
    QWidget* FBtnWindow = nullptr;
    TMySpinButton* FButton = nullptr;
    TRxUpDown* FUpDown = nullptr;
};
