#include "ui/RecorderListView.h"

#include <QDrag>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPainter>

namespace {

constexpr int CursorSize = 32;

// A sheet of paper with a folded corner and two lines of text.
void DrawSheet(QPainter& painter, const QRect& sheet) {
    const int fold = sheet.width() / 3;
    const QPoint corner = sheet.topRight();
    const QPolygon outline({sheet.topLeft(), corner - QPoint(fold, 0), corner + QPoint(0, fold),
                            sheet.bottomRight(), sheet.bottomLeft()});
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawPolygon(outline);
    painter.drawLine(corner - QPoint(fold, 0), corner - QPoint(fold, -fold));
    painter.drawLine(corner - QPoint(fold, -fold), corner + QPoint(0, fold));
    for (int line = 1; line <= 2; ++line) {
        const int y = sheet.top() + fold + line * 3;
        painter.drawLine(sheet.left() + 2, y, sheet.right() - 2, y);
    }
}

// The arrow of the pointer, its tip at the cursor's hot spot (top left).
void DrawArrow(QPainter& painter) {
    const QPolygon arrow({{0, 0}, {0, 12}, {3, 9}, {6, 15}, {8, 14}, {5, 8}, {9, 8}});
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::black);
    painter.drawPolygon(arrow);
}

} // namespace

TDragCursorKind DragCursorKindFor(int selectedRows) {
    return selectedRows < 2 ? TDragCursorKind::SingleItem : TDragCursorKind::MultipleItems;
}

QPixmap DragCursorPixmap(TDragCursorKind kind) {
    QPixmap pixmap(CursorSize, CursorSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const QRect sheet(14, 12, 12, 15);
    if (kind == TDragCursorKind::MultipleItems) {
        DrawSheet(painter, sheet.translated(4, -6));
        DrawSheet(painter, sheet.translated(2, -3));
    }
    DrawSheet(painter, sheet);
    DrawArrow(painter);
    return pixmap;
}

TRecorderListView::TRecorderListView(QWidget* parent) : QTreeView(parent) {}

QDrag* TRecorderListView::CreateDrag() {
    const QModelIndexList rows = selectionModel()->selectedRows();
    QMimeData* mime = rows.isEmpty() ? nullptr : model()->mimeData(rows);
    if (mime == nullptr)
        return nullptr;
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    const QPixmap cursor = DragCursorPixmap(DragCursorKindFor(static_cast<int>(rows.size())));
    for (Qt::DropAction action : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction})
        drag->setDragCursor(cursor, action);
    return drag;
}

void TRecorderListView::startDrag(Qt::DropActions supportedActions) {
    if (QDrag* drag = CreateDrag())
        drag->exec(supportedActions, Qt::CopyAction);
}
