#pragma once

#include <cstdint>

#include <QDialog>

class QAction;
class QFrame;
class QLabel;
class QPainter;
class QPushButton;
class TCanvasPanel;

// Picks the stretch of a recording to download: a bar inside a track stands for the
// selection. The caller sets the total duration and size, runs exec() and on mrOk reads the
// selected start, duration and size.
class TfrmPartSelect : public QDialog {
    Q_OBJECT

public:
    static constexpr int TrackWidth = 304;
    static constexpr int BarHeight = 21;
    static constexpr int MinBarWidth = 21;
    static constexpr int EdgeGrip = 4;

    explicit TfrmPartSelect(QWidget* mainWindow = nullptr);

    void SetTotalDuration(std::uint32_t seconds);
    // The recording's whole byte size, beyond 4 GiB too.
    void SetTotalSize(std::uint64_t bytes);
    std::uint32_t TotalDuration() const { return FTotalDuration; }
    std::uint64_t TotalSize() const { return FTotalSize; }

    std::int32_t SelStart() const { return FSelStart; }
    std::int32_t SelDuration() const { return FSelDuration; }
    std::uint64_t SelSize() const { return FSelSize; }

    // The bar's left position and width within the track; kept within the bounds.
    void SetBar(int left, int width);
    int BarLeft() const;
    int BarWidth() const;

    QFrame* Panel3 = nullptr;       // the track
    TCanvasPanel* Panel4 = nullptr; // the selection bar
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lbStart = nullptr;
    QLabel* lbEnd = nullptr;
    QLabel* lbDuration = nullptr;
    QLabel* lbSelSize = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QAction* actSelMoveLeft = nullptr;
    QAction* actSelMoveRight = nullptr;
    QAction* actSelSizeInc = nullptr;
    QAction* actSelSizeDec = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddAction(const char* name, const QKeySequence& key, int dLeft, int dWidth);
    void BarMouseMove(int x, Qt::MouseButtons buttons);
    void BarMouseDown(int x);
    void PaintBar(QPainter* canvas);
    void UpdateResults();

    std::int32_t FDragMode = 0; // 0 none, 1 left edge, 2 right edge, 3 whole bar
    std::int32_t FPressX = 0;
    std::uint32_t FTotalDuration = 0;
    std::int32_t FSelDuration = 0;
    std::int32_t FSelStart = 0;
    std::uint64_t FSelSize = 0;
    std::uint64_t FTotalSize = 0;
};
