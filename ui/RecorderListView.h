#pragma once

#include <QPixmap>
#include <QTreeView>

class QDrag;

// The drag cursors of the recorder lists: one record or file, or several.
enum class TDragCursorKind { SingleItem, MultipleItems };
TDragCursorKind DragCursorKindFor(int selectedRows);
QPixmap DragCursorPixmap(TDragCursorKind kind);

// A recorder list (records or flash drive) whose drags show how many rows they carry.
class TRecorderListView : public QTreeView {
    Q_OBJECT

public:
    explicit TRecorderListView(QWidget* parent = nullptr);

    // The drag of the selected rows with its cursor; nullptr without a selection. The caller
    // runs it.
    QDrag* CreateDrag();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};
