#include "controls/MySpin.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>

#include "controls/MySpinButton.h"

namespace {

// The float notation of the edit: the user's locale for the decimal separator, never a
// group separator (it would not read back).
QLocale NumberLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QChar DecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.front();
}

std::int64_t RoundToInt64(double value) {
    constexpr double limit = 9.2e18; // inside the 64-bit range, so the conversion is defined
    if (value >= limit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value <= -limit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return std::llround(value);
}

bool ParseSignedDigits(const QString& text, int base, double& value) {
    qsizetype pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size()) {
        return false;
    }
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t limit = std::uint64_t{1} << 63;
    for (; pos < text.size(); ++pos) {
        const int digit = text[pos].isDigit() ? text[pos].digitValue()
                          : base == 16 && QString("abcdefABCDEF").contains(text[pos])
                              ? text[pos].toLower().unicode() - 'a' + 10
                              : -1;
        if (digit < 0 || digit >= base) {
            return false;
        }
        if (magnitude > (limit - static_cast<std::uint64_t>(digit)) / static_cast<unsigned>(base)) {
            return false; // beyond the 64-bit range
        }
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<std::uint64_t>(digit);
    }
    if (!negative && magnitude == limit) {
        return false;
    }
    value = negative ? -static_cast<double>(magnitude) : static_cast<double>(magnitude);
    return true;
}

// Fixed-point text with the given decimals, from at most 15 significant digits, rounded half
// away from zero in decimal (so 1.25 with one decimal reads 1.3).
QString FormatFixed(double value, int decimals) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.16e", std::fabs(value));
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e'; ++p) {
        if (*p != '.') {
            digits += *p;
        }
    }
    int exponent = std::atoi(p + 1);
    const int kept = std::min(15, exponent + 1 + decimals);
    std::string significant;
    if (value != 0.0 && kept >= 0) {
        significant = digits.substr(0, static_cast<std::size_t>(kept));
        if (digits[static_cast<std::size_t>(kept)] >= '5') {
            int i = kept - 1;
            for (; i >= 0 && significant[static_cast<std::size_t>(i)] == '9'; --i) {
                significant[static_cast<std::size_t>(i)] = '0';
            }
            if (i >= 0) {
                ++significant[static_cast<std::size_t>(i)];
            } else {
                significant.insert(significant.begin(), '1');
                ++exponent;
            }
        }
    }
    // Lay the significant digits out around the decimal point: digit k stands for
    // 10^(exponent - k).
    auto digitAt = [&](int power) {
        const int k = exponent - power;
        return k >= 0 && k < static_cast<int>(significant.size())
                   ? significant[static_cast<std::size_t>(k)]
                   : '0';
    };
    std::string text;
    for (int power = std::max(exponent, 0); power >= 0; --power) {
        text += digitAt(power);
    }
    if (decimals > 0) {
        text += '.';
        for (int power = -1; power >= -decimals; --power) {
            text += digitAt(power);
        }
    }
    const bool isZero = significant.find_first_not_of('0') == std::string::npos;
    const QLocale locale = NumberLocale();
    QString result = QString::fromStdString(text);
    result.replace('.', locale.decimalPoint());
    return value < 0 && !isZero ? locale.negativeSign() + result : result;
}

} // namespace

TMySpinEdit::TMySpinEdit(QWidget* parent) : QLineEdit(parent) {
    setText("0");
    setMinimumHeight(MinHeight());
    RecreateButton();
}

TMySpinEdit::~TMySpinEdit() = default;

int TMySpinEdit::MinHeight() const {
    constexpr int borderHeight = 1;
    return fontMetrics().height() + 4 * borderHeight + 1;
}

bool TMySpinEdit::ParseText(const QString& rawText, TValueType type, double& value) const {
    const QString text = rawText.trimmed();
    switch (type) {
    case vtFloat: {
        bool ok = false;
        const double parsed = NumberLocale().toDouble(text, &ok);
        if (!ok || !std::isfinite(parsed)) {
            return false;
        }
        value = parsed;
        return true;
    }
    case vtHex:
        return ParseSignedDigits(text, 16, value);
    case vtInteger:
        break;
    }
    return ParseSignedDigits(text, 10, value);
}

bool TMySpinEdit::ShowsSpecialText() const {
    return !FSpecialValueText.isEmpty() && text() == FSpecialValueText;
}

void TMySpinEdit::SetSpecialValueText(const QString& text) {
    const double value = Value();
    FSpecialValueText = text;
    SetValue(value);
}

double TMySpinEdit::Value() const {
    if (ShowsSpecialText()) {
        return FValueType == vtFloat ? FMinValue : std::trunc(FMinValue);
    }
    double value = 0.0;
    if (ParseText(text(), FValueType, value)) {
        return value;
    }
    return FValueType == vtFloat ? FMinValue : std::trunc(FMinValue);
}

double TMySpinEdit::CheckValue(double value) const {
    if (FMinValue != FMaxValue) {
        if (value < FMinValue) {
            return FMinValue;
        }
        if (value > FMaxValue) {
            return FMaxValue;
        }
    }
    return value;
}

QString TMySpinEdit::FormatValue(double value) const {
    switch (FValueType) {
    case vtFloat:
        if (std::fabs(value) >= 1e15) {
            return NumberLocale().toString(value, 'g', 15);
        }
        return FormatFixed(value, FDecimal);
    case vtHex: {
        const std::int64_t rounded = RoundToInt64(value);
        const std::uint64_t magnitude = rounded < 0 ? 0 - static_cast<std::uint64_t>(rounded)
                                                    : static_cast<std::uint64_t>(rounded);
        const QString digits = QString::number(magnitude, 16).toUpper();
        return rounded < 0 ? "-" + digits : digits;
    }
    case vtInteger:
        break;
    }
    return QString::number(RoundToInt64(value));
}

void TMySpinEdit::SetValue(double value) {
    double checked = CheckValue(value);
    if (!std::isfinite(checked)) {
        checked = FMinValue;
    }
    const bool special = !FSpecialValueText.isEmpty() && checked == FMinValue;
    setText(special ? FSpecialValueText : FormatValue(checked));
}

double TMySpinEdit::CommitValue() {
    double parsed = 0.0;
    const bool converts = ShowsSpecialText() || ParseText(text(), FValueType, parsed);
    const double value = Value();
    const bool special = !FSpecialValueText.isEmpty() && value == FMinValue;
    if (!converts || CheckValue(value) != value || special != ShowsSpecialText()) {
        SetValue(value);
    }
    return Value();
}

void TMySpinEdit::SetValueType(TValueType type) {
    if (type == FValueType) {
        return;
    }
    // Read under the old notation, so "FF" stays 255 when the edit turns decimal.
    const double value = Value();
    FValueType = type;
    if (type != vtFloat) {
        FIncrement = std::round(FIncrement);
        if (FIncrement == 0.0) {
            FIncrement = 1.0;
        }
    }
    SetValue(value);
}

void TMySpinEdit::SetIncrement(double increment) {
    FIncrement = increment;
}

void TMySpinEdit::SetDecimal(int decimals) {
    decimals = std::clamp(decimals, 0, 255);
    if (decimals != FDecimal) {
        const double value = Value();
        FDecimal = decimals;
        SetValue(value);
    }
}

void TMySpinEdit::SetEditorEnabled(bool enabled) {
    FEditorEnabled = enabled;
    setAcceptDrops(enabled);
}

bool TMySpinEdit::TextChangeAllowed() const {
    return FEditorEnabled && !isReadOnly();
}

bool TMySpinEdit::IsValidChar(QChar key) const {
    if (key.unicode() < 32) {
        // Backspace edits the text; the other control characters are commands.
        return FEditorEnabled || key.unicode() != 8;
    }
    if (!FEditorEnabled) {
        return false;
    }
    if (key == '+' || key == '-' || (key >= '0' && key <= '9')) {
        return true;
    }
    if (FValueType == vtFloat) {
        if (key == DecimalSeparator() && !text().contains(DecimalSeparator())) {
            return true;
        }
        if ((key == 'E' || key == 'e') && !text().toUpper().contains('E')) {
            return true;
        }
    }
    if (FValueType == vtHex) {
        return (key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f');
    }
    return false;
}

void TMySpinEdit::UpClick() {
    if (Step(FIncrement)) {
        emit TopClick();
    }
}

void TMySpinEdit::DownClick() {
    if (Step(-FIncrement)) {
        emit BottomClick();
    }
}

bool TMySpinEdit::Step(double delta) {
    if (isReadOnly()) {
        QApplication::beep();
        return false;
    }
    const QString before = text();
    {
        const QSignalBlocker quiet(this);
        SetValue(Value() + delta);
    }
    if (text().compare(before, Qt::CaseInsensitive) != 0) {
        setModified(true);
        emit textChanged(text());
    }
    return true;
}

void TMySpinEdit::keyPressEvent(QKeyEvent* event) {
    if (FArrowKeys && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        if (event->key() == Qt::Key_Up) {
            UpClick();
        } else {
            DownClick();
        }
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // The form gets the key as a dialog key; the value it acts on is the one shown.
        CommitValue();
    }
    for (const QChar key : event->text()) {
        // Delete arrives as character 127 here; it is a key command, not typing.
        if (key.unicode() != 127 && !IsValidChar(key)) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    if (!FEditorEnabled && !isReadOnly()) {
        // Deleting, pasting and undoing are refused too, while moving and copying still work.
        setReadOnly(true);
        QLineEdit::keyPressEvent(event);
        setReadOnly(false);
        return;
    }
    // A number typed over the special text replaces it whole.
    if (ShowsSpecialText() && !event->text().isEmpty() && event->text().front().unicode() >= 32 &&
        event->text().front().unicode() != 127) {
        selectAll();
    }
    QLineEdit::keyPressEvent(event);
}

void TMySpinEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the selection on X11.
    if (event->button() == Qt::MiddleButton && !FEditorEnabled && !isReadOnly()) {
        setReadOnly(true);
        QLineEdit::mouseReleaseEvent(event);
        setReadOnly(false);
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TMySpinEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!FEditorEnabled) {
        event->ignore();
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

void TMySpinEdit::contextMenuEvent(QContextMenuEvent* event) {
    const bool forceReadOnly = !TextChangeAllowed() && !isReadOnly();
    if (forceReadOnly) {
        setReadOnly(true); // the menu offers cut, paste and delete only for an editable text
    }
    QMenu* menu = createStandardContextMenu();
    if (forceReadOnly) {
        setReadOnly(false);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TMySpinEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason) {
        selectAll();
    }
}

void TMySpinEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A context menu or another window taking the focus for a moment is not leaving.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) {
        return;
    }
    CommitValue();
}

void TMySpinEdit::SetButtonKind(TSpinButtonKind kind) {
    if (kind != FButtonKind) {
        FButtonKind = kind;
        RecreateButton();
    }
}

void TMySpinEdit::RecreateButton() {
    delete FBtnWindow;
    FBtnWindow = nullptr;
    FButton = nullptr;
    delete FUpDown;
    FUpDown = nullptr;
    if (FButtonKind == bkDiagonal) {
        FBtnWindow = new QWidget(this);
        FBtnWindow->setObjectName("FBtnWindow");
        FButton = new TMySpinButton(FBtnWindow);
        FButton->setObjectName("FButton");
        FButton->SetFocusControl(this);
        connect(FButton, &TMySpinButton::TopClick, this, &TMySpinEdit::UpClick);
        connect(FButton, &TMySpinButton::BottomClick, this, &TMySpinEdit::DownClick);
        FBtnWindow->show();
    } else {
        FUpDown = new TRxUpDown(this);
        FUpDown->setObjectName("FUpDown");
        connect(FUpDown, &TRxUpDown::Click, this, &TMySpinEdit::UpDownClick);
        FUpDown->show();
    }
    ResizeControls();
}

void TMySpinEdit::UpDownClick(TRxUpDown::TUDBtnType button) {
    if (isEnabled() && focusPolicy() != Qt::NoFocus && !hasFocus()) {
        setFocus(Qt::OtherFocusReason);
    }
    if (button == TRxUpDown::btNext) {
        UpClick();
    } else {
        DownClick();
    }
}

int TMySpinEdit::ButtonWidth() const {
    if (FBtnWindow != nullptr) {
        return FBtnWindow->width();
    }
    if (FUpDown != nullptr) {
        return FUpDown->width();
    }
    return TRxUpDown::PreferredWidth(this);
}

void TMySpinEdit::ResizeControls() {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const int frame =
        hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this) : 0;
    const int inner = std::max(height() - 2 * frame, 1);
    if (FBtnWindow != nullptr) {
        FBtnWindow->setGeometry(width() - frame - inner, frame, inner, inner);
        FButton->setGeometry(0, 0, inner, inner);
    } else if (FUpDown != nullptr) {
        FUpDown->setGeometry(width() - frame - FUpDown->width(), frame, FUpDown->width(), inner);
    }
    setTextMargins(0, 0, ButtonWidth() + 2, 0);
}

void TMySpinEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    ResizeControls();
}

void TMySpinEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        setMinimumHeight(MinHeight());
    }
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        ResizeControls();
    }
}
